// SPDX-License-Identifier: BSD-2-Clause-Patent
// A board configuration: where the chip sits and what it answers, the setup
// variable, and the faults the PEI Foundation model injects.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "board/PeiFoundation.h"
#include "chip/Registers.h"

namespace board {

struct RegisterPreset {
  uint8_t Device = 0; // logical device; ignored for chip-global registers (< 0x30)
  uint8_t Reg = 0;
  uint8_t Value = 0;
  bool operator==(const RegisterPreset&) const = default;
};

inline constexpr uint32_t kSetupVariableAttributes = 0x7; // NV, BS, RT

// What answers at the chip's ports: the Super I/O chip, or the stand-in QEMU
// offers for it (its SB16 mixer, one flat register file; see MixerStandIn).
enum class ChipKind : uint8_t { SuperIo, MixerStandIn };

struct Scenario {
  std::optional<uint16_t> ChipPort = chip::kFirstProbePort; // index port; nullopt: no chip
  ChipKind Kind = ChipKind::SuperIo;
  uint8_t ChipIdHigh = chip::kChipIdHigh;
  uint8_t ChipIdLow = chip::kChipIdLow;
  // For the stand-in, Device is ignored: its registers are one flat file, and
  // the ID bytes and presets are written in order as through its data port.
  std::vector<RegisterPreset> Registers;
  // Data-port reads in configuration mode answer these bytes, one per read and
  // in order, instead of the register's content (a chip that answers oddly);
  // reads after the last one answer the register's content again.
  std::vector<uint8_t> ChipReadAnswers;
  std::optional<std::vector<uint8_t>> SetupVariable; // nullopt: variable absent
  PeiFaults Faults;
  bool operator==(const Scenario&) const = default;
};

// Chip at 0x4E; the setup variable's entry 2 enables logical device 8 with
// Param[0] 0x5A and Param[2] 0; register 0xF0 of logical device 8 reads 0xFF.
Scenario DefaultScenario();

// A 67-byte setup variable whose entries are all zero (nothing to apply).
std::vector<uint8_t> EmptySetupData();
// Sets entry Index of Data to a logical-device-8 entry.
void SetLd8Entry(std::vector<uint8_t>& Data, size_t Index, uint8_t Param0, uint8_t Param2,
                 uint8_t Enabled = 1, uint8_t Qualifier = 0);

} // namespace board
