// SPDX-License-Identifier: BSD-2-Clause-Patent
// The GUIDs the module deals with, in one place for the whole host side: the
// read-only variable PPI it locates, the ready PPI it installs and the setup
// variable's vendor GUID. The module's own copies (firmware/platform/PiPei.h,
// firmware/entry/SioReadyPpi.h, firmware/setup/SioSetupData.h) are held equal
// to these by tests/firmware/ChipFactsTest.cpp.
#pragma once

#include "pi/Guid.h"

namespace board {

inline constexpr pi::Guid kReadOnlyVariable2PpiGuid =
    pi::GuidFromText("2AB86EF5-ECB5-4134-B556-3854CA1FE1B4");
inline constexpr pi::Guid kSioReadyPpiGuid =
    pi::GuidFromText("6F3BDEE2-6FCF-492E-80AC-7C786D9FC397");
inline constexpr pi::Guid kSioSetupVendorGuid =
    pi::GuidFromText("CD2E75EC-4162-411D-B7F1-E1D882E697AB");

} // namespace board
