// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pe/ImageFile.h"

#include <fstream>
#include <iterator>

namespace pe {

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    return std::nullopt;
  std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)),
                             std::istreambuf_iterator<char>());
  if (In.bad())
    return std::nullopt;
  return Bytes;
}

} // namespace pe
