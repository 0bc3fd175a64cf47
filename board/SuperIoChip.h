// SPDX-License-Identifier: BSD-2-Clause-Patent
// Behavioural model of the Super I/O chip's configuration interface.
//
// Configuration mode is entered by two consecutive enter-key writes (0x77) to
// the index port and left by the exit key (0xAA), as chip::ConfigModeKeys
// (chip/ConfigPortDecoder.h) follows them. In configuration mode the
// index port selects a register and the data port reads or writes it;
// register 0x07 selects the logical device that registers 0x30 and up belong
// to, registers below 0x30 are chip-global, and 0x20/0x21 hold the chip ID
// (read-only). Outside configuration mode the data port floats and index
// writes other than the keys are ignored.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "board/IoBus.h"
#include "chip/ConfigPortDecoder.h"
#include "chip/Registers.h"

namespace board {

class SuperIoChip final : public IoDevice {
public:
  // Lets a test make the chip answer oddly: returns the byte a data-port read
  // yields instead of the register's content, or nothing to keep it.
  using ReadOverride = std::function<std::optional<uint8_t>(uint8_t Device, uint8_t Reg)>;

  SuperIoChip(uint16_t IndexPort, uint8_t ChipIdHigh, uint8_t ChipIdLow);

  // Puts the chip back to its power-on state at IndexPort with the given ID,
  // as a new chip would be; register banks already allocated are kept (zeroed).
  void Reset(uint16_t IndexPort, uint8_t ChipIdHigh, uint8_t ChipIdLow);

  uint16_t IndexPort() const { return IndexPort_; }
  bool InConfigMode() const { return Keys_.InConfigMode(); }
  uint8_t SelectedDevice() const { return Global_[chip::kRegLogicalDevice]; }

  // Register Reg as seen with logical device Device selected.
  uint8_t Register(uint8_t Device, uint8_t Reg) const {
    if (Reg < chip::kFirstDeviceRegister)
      return Global_[Reg];
    const auto& Bank = Devices_[Device];
    return Bank ? (*Bank)[Reg - chip::kFirstDeviceRegister] : 0;
  }
  // All 256 registers as seen with logical device Device selected.
  std::array<uint8_t, 0x100> DeviceView(uint8_t Device) const;
  void SetRegister(uint8_t Device, uint8_t Reg, uint8_t Value);
  // Logical devices whose registers (0x30 and up) were written since reset.
  bool DeviceTouched(uint8_t Device) const { return Touched_[Device]; }
  void SetReadOverride(ReadOverride Override) { Override_ = std::move(Override); }

  bool Decodes(uint16_t Port, uint8_t Width) const override;
  // The data port of a chip at 0xFFFF wraps round to port 0.
  uint16_t FirstPort() const override { return IndexPort_ == 0xFFFF ? 0 : IndexPort_; }
  uint16_t LastPort() const override {
    return IndexPort_ == 0xFFFF ? IndexPort_ : chip::DataPort(IndexPort_);
  }
  uint32_t Read(uint16_t Port, uint8_t Width) override;
  void Write(uint16_t Port, uint8_t Width, uint32_t Value) override;

private:
  uint16_t IndexPort_;
  chip::ConfigModeKeys Keys_;
  uint8_t Index_ = 0;
  std::array<uint8_t, chip::kFirstDeviceRegister> Global_{};
  // Registers 0x30-0xFF of each logical device, allocated on the first write
  // to that device so that building a chip stays cheap; unwritten ones read 0.
  std::array<std::unique_ptr<std::array<uint8_t, 0x100 - chip::kFirstDeviceRegister>>, 0x100>
      Devices_;
  std::array<bool, 0x100> Touched_{};
  // Logical devices whose bank is allocated, so that a reset visits only those.
  std::vector<uint8_t> Allocated_;
  ReadOverride Override_;
};

} // namespace board
