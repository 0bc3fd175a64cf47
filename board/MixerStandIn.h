// SPDX-License-Identifier: BSD-2-Clause-Patent
// The stand-in QEMU offers in the chip's place: its SB16 sound card's mixer,
// an index port and a data port over one flat file of 256 byte registers.
// There are no logical-device banks and no configuration-mode keys: every
// index write selects a register (the keys included), every data access
// reaches the selected register. As QEMU's device does it, the index port
// reads all ones, a data write to register 0x00 puts every register but
// 0x7F-0x82 back to its reset value, and register 0x82 (the card's interrupt
// status) ignores writes.
#pragma once

#include <array>
#include <cstdint>

#include "board/IoBus.h"
#include "chip/Registers.h"

namespace board {

class MixerStandIn final : public IoDevice {
public:
  static constexpr uint8_t kResetRegister = 0x00;
  static constexpr uint8_t kReadOnlyRegister = 0x82;
  // The registers a write to kResetRegister leaves alone.
  static constexpr uint8_t kFirstKept = 0x7F;
  static constexpr uint8_t kLastKept = 0x82;

  // The 256 registers as QEMU 7.2's mixer holds them after reset (read back
  // through QEMU's monitor: index write, data read, for every register).
  static const std::array<uint8_t, 0x100> kResetValues;

  explicit MixerStandIn(uint16_t IndexPort) { Reset(IndexPort); }
  void Reset(uint16_t IndexPort);

  uint16_t IndexPort() const { return IndexPort_; }
  const std::array<uint8_t, 0x100>& Registers() const { return Registers_; }
  // A write through the data port to Reg, with its side effects.
  void WriteRegister(uint8_t Reg, uint8_t Value);

  bool Decodes(uint16_t Port, uint8_t Width) const override;
  uint16_t FirstPort() const override { return IndexPort_; }
  uint16_t LastPort() const override { return chip::DataPort(IndexPort_); }
  uint32_t Read(uint16_t Port, uint8_t Width) override;
  void Write(uint16_t Port, uint8_t Width, uint32_t Value) override;

private:
  uint16_t IndexPort_ = 0;
  uint8_t Index_ = 0;
  std::array<uint8_t, 0x100> Registers_{};
};

} // namespace board
