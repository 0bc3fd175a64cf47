// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module as a firmware file: its fixed name GUID, its user-interface name,
// what it waits for before dispatch, and the PEIM file that carries its image
// (laid out by pi/).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "packaging/SioModuleFileGuid.h"
#include "pe/PeFile.h"
#include "pi/Guid.h"

namespace packaging {

// The firmware file's name (kSioModuleFileGuid, from the module INF). Fixed
// for the life of the module: platforms list it in their flash layout and
// find the module by it.
inline constexpr pi::Guid kSioModuleFileName = *pi::ParseGuid(kSioModuleFileGuid);
inline constexpr std::u16string_view kSioModuleName = u"SioF81216aPei";

// What the module waits for before the PEI Foundation dispatches it.
enum class DepexChoice {
  VariablePpi, // the read-only variable PPI is installed: settings always apply
  True,        // nothing: dispatched as early as possible, settings may be skipped
  False,       // never dispatched (for proving that a platform honours the expression)
};

// Names as the build option spells them: VARIABLE_PPI, TRUE, FALSE (any case).
std::optional<DepexChoice> ParseDepexChoice(std::string_view Name);
std::string_view DepexChoiceName(DepexChoice Choice);
std::vector<uint8_t> EncodeDepex(DepexChoice Choice);
// The choice whose expression these bytes are, if they are one of them.
std::optional<DepexChoice> MatchDepexChoice(std::span<const uint8_t> Depex);

// Image passes the module image validation (pe/ImageCheck.h) and is for
// IA-32 (PE32) or X64 (PE32+): what a firmware file may carry.
sio::Result<pe::PeFile> ValidateFileImage(std::span<const uint8_t> Image);

enum class ImageForm {
  Pe32, // the image as linked, in a PE32 section
  Te,   // its terse form, in a TE section: the PE headers replaced by 40 bytes
};

// A PEIM file: the dependency expression, the image in a PE32 (or TE) section
// placed so that the image's address 0 lies on a multiple of its section
// alignment (so it can run in place at the address it is linked or rebased
// to), and the name. An error for an image the module image validation
// (pe/ImageCheck.h) refuses or one not laid out as in memory.
sio::Result<std::vector<uint8_t>> BuildSioModuleFile(std::span<const uint8_t> Image,
                                                     DepexChoice Depex,
                                                     ImageForm Form = ImageForm::Pe32);

} // namespace packaging
