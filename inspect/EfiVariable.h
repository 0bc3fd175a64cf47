// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable as Linux shows it in efivarfs: a file named
// "Name-guid" whose first four bytes are the variable's attributes
// (little-endian) and the rest its content.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Result.h"

namespace inspect {

struct LiveVariable {
  std::string Path;
  bool Present = false; // false: no such file (the variable does not exist)
  uint32_t Attributes = 0;
  std::vector<uint8_t> Content;
};

// Largest file read: an efivarfs variable is at most a few tens of KiB.
inline constexpr size_t kMaxEfiVariableFileSize = 64 * 1024;

// The module's setup variable under /sys/firmware/efi/efivars, named from the
// module's variable name and vendor GUID.
std::string DefaultEfiVariablePath();

// A missing file is a variable that is absent; a file that cannot be read,
// is shorter than the attributes or longer than the limit is an error.
sio::Result<LiveVariable> ReadEfiVariable(const std::string& Path);

} // namespace inspect
