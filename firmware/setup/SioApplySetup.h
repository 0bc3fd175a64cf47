// SPDX-License-Identifier: BSD-2-Clause-Patent
// Settings stage: carries the user's choices for logical device 8 from the
// setup variable into the chip. The caller holds the chip in configuration
// mode around the call.
#pragma once

#include "platform/PiPei.h"

inline constexpr UINT8 SioLd8 = 0x08;
inline constexpr UINT8 SioLd8RegMode = 0xF0;  // only ever ANDed
inline constexpr UINT8 SioLd8RegValue = 0xF1; // receives Param[0]
// The bits of register 0xF0 that Param[2] may clear.
inline constexpr UINT8 SioLd8ModeBit1 = 1u << 1;
inline constexpr UINT8 SioLd8ModeBit2 = 1u << 2;

// Reads the setup variable through the read-only variable PPI and programs
// logical device 8 once for each enabled entry of its kind that the variable
// holds in full.
//
// @param[in] PeiServices  the PEI services table pointer.
// @param[in] IndexPort    the index port of the chip, in configuration mode.
//
// @retval EFI_SUCCESS  every usable entry was applied (possibly none).
// @retval error        the variable PPI or the variable could not be had, or
//                      GetVariable claimed more data than the buffer holds
//                      (EFI_BUFFER_TOO_SMALL); the chip is not touched.
EFI_STATUS SioApplySetup(const EFI_PEI_SERVICES** PeiServices, UINT16 IndexPort);
