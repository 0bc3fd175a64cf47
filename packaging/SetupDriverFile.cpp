// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "packaging/SetupDriverFile.h"

#include <algorithm>

#include "packaging/SioModuleFile.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "pi/KnownGuids.h"

namespace packaging {

std::vector<uint8_t> EncodeSetupDriverDepex() {
  pi::DepexWriter W;
  W.Push(pi::kHiiDatabaseProtocolGuid)
      .Push(pi::kVariableArchProtocolGuid)
      .And()
      .Push(pi::kVariableWriteArchProtocolGuid)
      .And();
  return W.Finish();
}

sio::Result<std::vector<uint8_t>> BuildSetupDriverFile(std::span<const uint8_t> Image) {
  auto Pe = ValidateFileImage(Image);
  if (!Pe)
    return Pe.Failure();
  pi::FileRecipe Recipe;
  Recipe.Name = kSetupDriverFileName;
  Recipe.Type = pi::file_type::kDriver;
  Recipe.DataChecksum = true;
  // The DXE loader copies the image into memory; the section keeps the
  // image's own alignment as a build tool would.
  const uint32_t Alignment = std::max<uint32_t>(Pe->SectionAlignment, 4);
  Recipe.Sections = {
      {pi::section_type::kDxeDepex, EncodeSetupDriverDepex(), 4, 0},
      {pi::section_type::kPe32, {Image.begin(), Image.end()}, Alignment, 0},
      {pi::section_type::kUserInterface, pi::UserInterfaceBody(kSetupDriverName), 4, 0},
  };
  auto File = pi::BuildFfsFile(Recipe);
  if (!File)
    return File.Failure();
  return std::move(File->Bytes);
}

} // namespace packaging
