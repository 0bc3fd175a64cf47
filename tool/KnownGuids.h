// Names of the GUIDs a pass deals with, for reports.
#pragma once

#include <string>

#include "board/Guid.h"

namespace siotool {

// "EFI_PEI_READ_ONLY_VARIABLE2_PPI", "SioReadyPpi", "SioSetupVendorGuid"; empty if unknown.
std::string GuidName(const board::GuidBytes& Guid);
// Names of the known GUIDs written out in Text (registry format), in the
// order they appear, joined by ", ".
std::string NamesOfGuidsIn(const std::string& Text);

} // namespace siotool
