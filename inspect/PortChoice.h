// SPDX-License-Identifier: BSD-2-Clause-Patent
// Which index port `sio inspect --chip-port P` may reach: the module's own index
// ports (those of the image given, which a patched image may have changed);
// another only when the operator says it is unsafe (--unsafe-port), and never
// one whose index or data port (P, P + 1) lies on a port of the standard PC
// map where a write has side effects, be it the image's own.
#pragma once

#include <cstdint>
#include <string>

#include "chip/BoardValues.h"

namespace inspect {

// Ports of the standard PC map where a write has side effects.
struct SideEffectPorts {
  uint16_t First;
  uint16_t Last;
  const char* What;
};
inline constexpr SideEffectPorts kSideEffectPorts[] = {
    {0x0020, 0x0021, "the interrupt controller"},
    {0x0040, 0x0043, "the interval timer"},
    {0x0060, 0x0060, "the keyboard controller's data port"},
    {0x0064, 0x0064, "the keyboard controller's command port (a write can reset the machine)"},
    {0x0070, 0x0071, "the real-time clock and CMOS (bit 7 of 0x70 masks the NMI)"},
    {0x0080, 0x008F, "the POST code and DMA page registers"},
    {0x0092, 0x0092, "system control port A (bit 0 resets the processor)"},
    {0x00A0, 0x00A1, "the second interrupt controller"},
    {0x00B2, 0x00B3, "the SMI command and status ports (a write raises an SMI)"},
    {0x0CF8, 0x0CFF, "the PCI configuration ports"},
};

// The option that lets --chip-port name a port other than the module's.
inline constexpr const char* kUnsafePortOption = "--unsafe-port";

// Why `--chip-port Port` is refused; empty when it is accepted. Unsafe: given
// with kUnsafePortOption; Board: the module's board values, whose ports are
// the module's.
std::string IndexPortProblem(uint64_t Port, bool Unsafe,
                             const chip::BoardValues& Board = chip::DefaultBoardValues());
// Why the discovery of the module given Board may not be followed on a
// live machine: a port it probes reaches a port with side effects, or it
// probes none. Empty when every port it probes may be.
std::string ModulePortsProblem(const chip::BoardValues& Board);

} // namespace inspect
