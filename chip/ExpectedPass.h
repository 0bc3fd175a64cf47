// SPDX-License-Identifier: BSD-2-Clause-Patent
// The pass the module makes, stated once: its first port writes, the order in
// which it probes for the chip, the register script, the accesses that program
// logical device 8 from one setup entry, and the ready PPI. The golden-trace
// builder (tests/TraceBuilder) writes traces from it and the pass invariants
// (invariants/PassInvariants) judge traces by it.
#pragma once

#include <array>
#include <cstdint>

#include "chip/PlatformPorts.h"
#include "chip/Registers.h"
#include "pi/KnownGuids.h"
#include "pi/Trace.h"

namespace chip {

struct PortWrite {
  uint8_t Width; // bytes
  uint16_t Port;
  uint32_t Value;
};

// Progress code, then the LPC bridge's decode ranges opened: CONFIG_ADDRESS
// names bus 0, device 31, function 0, register 0x80 (enable bit set); the
// data writes registers 0x80-0x83 = 0x17 0x00 0x0F 0x3F.
inline constexpr uint16_t kPostCode = 0x0070;
inline constexpr uint32_t kLpcDecodeAddress = 0x8000F880;
inline constexpr uint32_t kLpcDecodeValue = 0x3F0F0017;
inline constexpr std::array<PortWrite, 3> kEarlyWrites = {{
    {2, kPostCodePort, kPostCode},
    {4, kPciConfigAddressPort, kLpcDecodeAddress},
    {4, kPciConfigDataPort, kLpcDecodeValue},
}};

// Index ports probed, in order, until one answers with the chip's ID: each
// probe is the enter key twice, a read of register 0x20 and, when it
// matched, a read of register 0x21.
inline constexpr std::array<uint16_t, 5> kProbeOrder = {kFirstProbePort, kCandidatePorts[0],
                                                        kCandidatePorts[1], kCandidatePorts[2],
                                                        kCandidatePorts[3]};

struct RegisterWrite {
  uint8_t Reg;
  uint8_t Value;
};

// Played at the found port after entering configuration mode again.
inline constexpr std::array<RegisterWrite, 12> kInitScript = {{
    {kRegLogicalDevice, 0x00}, // logical device 0 ...
    {kRegGlobal25, 0x01},
    {kRegGlobal27, 0x10},
    {kRegActivate, 0x01}, // ... active,
    {kRegIoBaseHigh, 0x03},
    {kRegIoBaseLow, 0xE8},     // at 0x03E8,
    {kRegInterrupt, 0x03},     // IRQ 3
    {kRegLogicalDevice, 0x01}, // logical device 1 ...
    {kRegActivate, 0x00},      // ... inactive,
    {kRegIoBaseHigh, 0x00},
    {kRegIoBaseLow, 0x00},
    {kRegInterrupt, 0x00},
}};

// One access of the logical-device-8 sequence. Write: index Reg, then the
// value to the data port; Read: index Reg, then a data-port read; WriteBack:
// the value to the data port with the index still at Reg.
enum class Ld8Op : uint8_t { Write, Read, WriteBack };
// Where the value of a step comes from.
enum class Ld8Value : uint8_t {
  Device,     // kLd8
  Active,     // kLd8Active
  ModeBefore, // what register 0xF0 reads
  ModeAfter,  // what it read, ANDed with the mask Param[2] picks
  Param0,     // the entry's Param[0]
};
struct Ld8Step {
  Ld8Op Op;
  uint8_t Reg;
  Ld8Value Value;
};
inline constexpr uint8_t kLd8Active = 0x01;

// What one matching setup entry makes the module do, in order.
inline constexpr std::array<Ld8Step, 7> kLd8Sequence = {{
    {Ld8Op::Write, kRegLogicalDevice, Ld8Value::Device},
    {Ld8Op::Write, kRegActivate, Ld8Value::Active},
    {Ld8Op::Write, kRegLogicalDevice, Ld8Value::Device},
    {Ld8Op::Read, kLd8RegMode, Ld8Value::ModeBefore},
    {Ld8Op::WriteBack, kLd8RegMode, Ld8Value::ModeAfter},
    {Ld8Op::Write, kRegLogicalDevice, Ld8Value::Device},
    {Ld8Op::Write, kLd8RegValue, Ld8Value::Param0},
}};
// The only bits of register 0xF0 the sequence may clear.
inline constexpr uint8_t kLd8ModeClearable = kLd8ModeBit1 | kLd8ModeBit2;

// After the exit key: the interface-less ready PPI, alone in its list; its
// status is the pass's.
inline constexpr uint32_t kReadyPpiFlags = pi::kPpiDescriptorPpi | pi::kPpiDescriptorTerminateList;
inline constexpr const pi::Guid& kReadyPpiGuid = pi::kSioReadyPpiGuid;

} // namespace chip
