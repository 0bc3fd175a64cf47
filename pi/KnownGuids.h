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

// The setup page's driver: its formset (also its package list's GUID and its
// vendor device path's), the Setup class it is listed in, and the protocols
// it locates, installs or waits for. Its own copies
// (firmware/platform/PiDxe.h and the generated package header) are held
// equal to these by tests/firmware/ChipFactsTest.cpp and the encoder.
inline constexpr Guid kSioSetupFormSetGuid = GuidFromText("ECCF537E-4B4B-4C0C-96C1-5FA9F5188EEC");
inline constexpr Guid kHiiPlatformSetupFormSetGuid =
    GuidFromText("93039971-8545-4B04-B45E-32EB8326040E");
inline constexpr Guid kHiiDatabaseProtocolGuid =
    GuidFromText("EF9FC172-A1B2-4693-B327-6D32FC416042");
inline constexpr Guid kVariableArchProtocolGuid =
    GuidFromText("1E5668E2-8481-11D4-BCF1-0080C73C8881");
inline constexpr Guid kVariableWriteArchProtocolGuid =
    GuidFromText("6441F818-6362-4E44-B570-7DBA31DD2453");
inline constexpr Guid kDevicePathProtocolGuid =
    GuidFromText("09576E91-6D3F-11D2-8E39-00A0C969723B");

// "EFI_PEI_READ_ONLY_VARIABLE2_PPI", "SioReadyPpi", "SioSetupVendorGuid"; empty if unknown.
std::string GuidName(const Guid& Value);
// The GUIDs a service call names (its PPIs' or its one GUID), each by its
// name or, when unknown, its registry text, joined by ", ".
std::string NamesOfGuidsIn(const ServiceCall& Call);

} // namespace pi
