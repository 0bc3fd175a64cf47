// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/FileInput.h"

#include <filesystem>
#include <fstream>

#include "common/InputError.h"

namespace sio {

std::vector<uint8_t> ReadInputFile(const std::string& Path, size_t MaxSize) {
  std::error_code Error;
  if (std::filesystem::is_directory(Path, Error))
    throw siotool::InputError(Path + ": is a directory");
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw siotool::InputError(Path + ": cannot open file");
  std::vector<uint8_t> Data;
  char Buffer[4096];
  // Read in pieces so that a device file or a huge file stops at the limit.
  while (In.read(Buffer, sizeof Buffer) || In.gcount() > 0) {
    Data.insert(Data.end(), Buffer, Buffer + In.gcount());
    if (Data.size() > MaxSize) {
      throw siotool::InputError(Path + ": longer than " + std::to_string(MaxSize) + " bytes");
    }
  }
  if (In.bad())
    throw siotool::InputError(Path + ": cannot read file");
  return Data;
}

} // namespace sio
