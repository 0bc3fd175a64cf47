// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/SuperIoChip.h"
#include "chip/Registers.h"

#include <algorithm>

namespace board {

SuperIoChip::SuperIoChip(uint16_t IndexPort, uint8_t ChipIdHigh, uint8_t ChipIdLow)
    : IndexPort_(IndexPort) {
  Global_[chip::kRegChipIdHigh] = ChipIdHigh;
  Global_[chip::kRegChipIdLow] = ChipIdLow;
}

void SuperIoChip::Reset(uint16_t IndexPort, uint8_t ChipIdHigh, uint8_t ChipIdLow) {
  IndexPort_ = IndexPort;
  Keys_ = {};
  Index_ = 0;
  Global_.fill(0);
  Global_[chip::kRegChipIdHigh] = ChipIdHigh;
  Global_[chip::kRegChipIdLow] = ChipIdLow;
  // An allocated bank of zeros reads as an unallocated one.
  for (uint8_t Device : Allocated_) {
    Devices_[Device]->fill(0);
    Touched_[Device] = false;
  }
  Override_ = nullptr;
}

std::array<uint8_t, 0x100> SuperIoChip::DeviceView(uint8_t Device) const {
  std::array<uint8_t, 0x100> View{};
  std::copy(Global_.begin(), Global_.end(), View.begin());
  if (const auto& Bank = Devices_[Device]) {
    std::copy(Bank->begin(), Bank->end(), View.begin() + chip::kFirstDeviceRegister);
  }
  return View;
}

void SuperIoChip::SetRegister(uint8_t Device, uint8_t Reg, uint8_t Value) {
  if (Reg < chip::kFirstDeviceRegister) {
    Global_[Reg] = Value;
  } else {
    auto& Bank = Devices_[Device];
    if (!Bank) {
      Bank = std::make_unique<std::array<uint8_t, 0x100 - chip::kFirstDeviceRegister>>();
      Allocated_.push_back(Device);
    }
    (*Bank)[Reg - chip::kFirstDeviceRegister] = Value;
  }
}

bool SuperIoChip::Decodes(uint16_t Port, uint8_t Width) const {
  return Width == 1 && (Port == IndexPort_ || Port == chip::DataPort(IndexPort_));
}

uint32_t SuperIoChip::Read(uint16_t Port, uint8_t) {
  if (Port == IndexPort_)
    return Keys_.InConfigMode() ? Index_ : 0xFF;
  if (!Keys_.InConfigMode())
    return 0xFF;
  uint8_t Device = SelectedDevice();
  if (Override_) {
    if (auto Value = Override_(Device, Index_))
      return *Value;
  }
  return Register(Device, Index_);
}

void SuperIoChip::Write(uint16_t Port, uint8_t, uint32_t Value) {
  auto Byte = static_cast<uint8_t>(Value);
  if (Port == IndexPort_) {
    if (Keys_.IndexWrite(Byte) == chip::PortStep::SelectRegister)
      Index_ = Byte;
    return;
  }
  if (!Keys_.InConfigMode() || Index_ == chip::kRegChipIdHigh || Index_ == chip::kRegChipIdLow)
    return;
  uint8_t Device = SelectedDevice();
  SetRegister(Device, Index_, Byte);
  if (Index_ >= chip::kFirstDeviceRegister)
    Touched_[Device] = true;
}

} // namespace board
