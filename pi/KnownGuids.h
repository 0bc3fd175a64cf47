// SPDX-License-Identifier: BSD-2-Clause-Patent
// The GUIDs the module deals with, in one place for the whole host side: the
// read-only variable PPI it locates, the ready PPI it installs and the setup
// variable's vendor GUID, and their names for reports. The module's own copies
// (firmware/platform/PiPei.h, firmware/entry/SioReadyPpi.h,
// firmware/setup/SioSetupData.h) are held equal to these by
// tests/firmware/ChipFactsTest.cpp.
#pragma once

#include <string>

#include "pi/Guid.h"
#include "pi/Trace.h"

namespace pi {

inline constexpr Guid kReadOnlyVariable2PpiGuid =
    GuidFromText("2AB86EF5-ECB5-4134-B556-3854CA1FE1B4");
inline constexpr Guid kSioReadyPpiGuid = GuidFromText("6F3BDEE2-6FCF-492E-80AC-7C786D9FC397");
inline constexpr Guid kSioSetupVendorGuid = GuidFromText("CD2E75EC-4162-411D-B7F1-E1D882E697AB");

// "EFI_PEI_READ_ONLY_VARIABLE2_PPI", "SioReadyPpi", "SioSetupVendorGuid"; empty if unknown.
std::string GuidName(const Guid& Value);
// The GUIDs a service call names (its PPIs' or its one GUID), each by its
// name or, when unknown, its registry text, joined by ", ".
std::string NamesOfGuidsIn(const ServiceCall& Call);

} // namespace pi
