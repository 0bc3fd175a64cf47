// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/FileInput.h"

#include <filesystem>
#include <fstream>

#include "common/InputError.h"

namespace siotool {

std::vector<uint8_t> ReadInputFile(const std::string& Path, size_t MaxSize) {
  std::error_code Error;
  if (std::filesystem::is_directory(Path, Error))
    throw InputError(Path + ": is a directory");
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw InputError(Path + ": cannot open file");
  std::vector<uint8_t> Data;
  char Buffer[4096];
  // Read in pieces so that a device file or a huge file stops at the limit.
  while (In.read(Buffer, sizeof Buffer) || In.gcount() > 0) {
    Data.insert(Data.end(), Buffer, Buffer + In.gcount());
    if (Data.size() > MaxSize) {
      throw InputError(Path + ": longer than " + std::to_string(MaxSize) + " bytes");
    }
  }
  if (In.bad())
    throw InputError(Path + ": cannot read file");
  return Data;
}

} // namespace siotool
