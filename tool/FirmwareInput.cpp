// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/FirmwareInput.h"

#include "common/FileInput.h"
#include "packaging/SioModuleFile.h"
#include "pi/Guid.h"
#include "tool/InputError.h"

namespace siotool {

ModuleInput ReadModuleInput(const std::string& Path, size_t MaxSize) {
  ModuleInput In;
  In.Image = Need(sio::ReadInputFile(Path, MaxSize));
  if (!ovmf::IsFirmwareImage(In.Image))
    return In;
  auto Found = ovmf::FindFirmwareModule(In.Image, packaging::kSioModuleFileName);
  if (!Found)
    throw InputError(Path, Found.Failure());
  In.Image = Found->Image;
  In.Found = std::move(*Found);
  return In;
}

std::string FoundWhere(const ovmf::FirmwareModule& Found) {
  return std::string(Found.Te ? "TE" : "PE32") + " image of file " + pi::FormatGuid(Found.Name) +
         " in " + Found.Volume;
}

} // namespace siotool
