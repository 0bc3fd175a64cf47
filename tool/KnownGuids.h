// SPDX-License-Identifier: BSD-2-Clause-Patent
// Names of the GUIDs a pass deals with, for reports.
#pragma once

#include <string>

#include "board/Trace.h"
#include "pi/Guid.h"

namespace siotool {

// "EFI_PEI_READ_ONLY_VARIABLE2_PPI", "SioReadyPpi", "SioSetupVendorGuid"; empty if unknown.
std::string GuidName(const pi::Guid& Guid);
// The GUIDs a service call names (its PPIs' or its one GUID), each by its
// name or, when unknown, its registry text, joined by ", ".
std::string NamesOfGuidsIn(const board::ServiceCall& Call);

} // namespace siotool
