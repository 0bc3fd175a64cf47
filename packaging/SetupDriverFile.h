// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup driver as a firmware file: its name (FILE_GUID of the package's
// SioF81216aSetupDxe.inf), its user-interface name, what the DXE dispatcher
// waits for before it starts it, and the DXE driver file that carries it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "packaging/SetupDriverFileGuid.h"
#include "pi/Guid.h"

namespace packaging {

inline constexpr pi::Guid kSetupDriverFileName = *pi::ParseGuid(kSetupDriverFileGuid);
inline constexpr std::u16string_view kSetupDriverName = u"SioF81216aSetupDxe";

// The driver waits for the HII database and for variables it can read and
// write: HII database protocol AND variable arch protocol AND variable-write
// arch protocol.
std::vector<uint8_t> EncodeSetupDriverDepex();

// A DXE driver file (type EFI_FV_FILETYPE_DRIVER): the DXE dependency
// expression, the image in a PE32 section aligned to its section alignment,
// and the name. An error for an image the image checks (pe/ImageCheck.h)
// refuse.
sio::Result<std::vector<uint8_t>> BuildSetupDriverFile(std::span<const uint8_t> Image);

} // namespace packaging
