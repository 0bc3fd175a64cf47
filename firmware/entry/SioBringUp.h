// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module's one pass: progress code, LPC decoding, discovery, the register
// script, setup-driven settings, exit key, ready PPI.
#pragma once

#include "platform/PiPei.h"

inline constexpr UINT16 SioPostCodePort = 0x80;
inline constexpr UINT16 SioPostCode = 0x0070;
inline constexpr UINT16 SioPciConfigAddressPort = 0xCF8;
inline constexpr UINT16 SioPciConfigDataPort = 0xCFC;
// Enable, bus 0, device 31, function 0 (the LPC bridge), register 0x80.
inline constexpr UINT32 SioLpcBridgeDecodeAddress = 0x8000F880;
// Registers 0x80-0x83: I/O decode ranges 0x17 0x00, LPC decode enables 0x0F 0x3F.
inline constexpr UINT32 SioLpcBridgeDecodeValue = 0x3F0F0017;

// Runs the module's one pass over the board record (SioBoard()).
//
// @param[in] PeiServices  the PEI services table pointer the module was
//                         given at its entry.
//
// @retval EFI_UNSUPPORTED  no chip answered at any probed port; the ready PPI
//                          is not installed.
// @retval other            the status of installing the ready PPI.
EFI_STATUS SioBringUp(const EFI_PEI_SERVICES** PeiServices);
