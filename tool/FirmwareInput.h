// SPDX-License-Identifier: BSD-2-Clause-Patent
// A module image as the commands that take one read it: the image file
// itself, or a firmware volume or flash image (.fv, .fd) holding the module,
// whose image is then taken from its file (ovmf/FirmwareModule.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ovmf/FirmwareModule.h"

namespace siotool {

struct ModuleInput {
  std::vector<uint8_t> Image;
  // Set when the file was a firmware: where the image was found.
  std::optional<ovmf::FirmwareModule> Found;
};

// Reads Path (at most MaxSize bytes). Throws InputError ("PATH: reason") for
// a file that cannot be read, or a firmware that holds no module file.
ModuleInput ReadModuleInput(const std::string& Path, size_t MaxSize);

// "file F06C840E-... in the volume ..." for a report.
std::string FoundWhere(const ovmf::FirmwareModule& Found);

} // namespace siotool
