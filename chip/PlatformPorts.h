// SPDX-License-Identifier: BSD-2-Clause-Patent
// The platform's ports the module writes besides the chip's: the progress-code
// port, and PCI configuration mechanism #1 with the LPC bridge it opens the
// decode ranges of. The board model's devices sit at these ports; the
// expected pass, the trace decoder and the scenario checks name them.
#pragma once

#include <cstdint>

namespace chip {

inline constexpr uint16_t kPostCodePort = 0x80;
inline constexpr uint16_t kPciConfigAddressPort = 0xCF8; // CONFIG_ADDRESS
inline constexpr uint16_t kPciConfigDataPort = 0xCFC;    // CONFIG_DATA, 0xCFC-0xCFF
inline constexpr uint8_t kLpcBridgeBus = 0;
inline constexpr uint8_t kLpcBridgeDevice = 31;
inline constexpr uint8_t kLpcBridgeFunction = 0;

} // namespace chip
