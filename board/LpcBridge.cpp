// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/LpcBridge.h"

namespace board {

bool LpcBridge::Decodes(uint16_t Port, uint8_t Width) const {
  if (Port == kConfigAddressPort)
    return Width == 4;
  return Port >= kConfigDataPort && Port + Width <= kConfigDataPort + 4;
}

bool LpcBridge::Target(uint16_t Port, uint8_t& Offset) const {
  bool Enabled = (Address_ & 0x80000000u) != 0;
  uint32_t Bus = (Address_ >> 16) & 0xFF, Device = (Address_ >> 11) & 0x1F,
           Function = (Address_ >> 8) & 0x7;
  if (!Enabled || Bus != kBus || Device != kDevice || Function != kFunction)
    return false;
  Offset = static_cast<uint8_t>((Address_ & 0xFC) + (Port - kConfigDataPort));
  return true;
}

uint32_t LpcBridge::Read(uint16_t Port, uint8_t Width) {
  if (Port == kConfigAddressPort)
    return Address_;
  uint8_t Offset = 0;
  if (!Target(Port, Offset))
    return FloatingValue(Width);
  uint32_t Value = 0;
  for (uint8_t I = 0; I < Width; ++I)
    Value |= uint32_t(Space_[uint8_t(Offset + I)]) << (8 * I);
  return Value;
}

void LpcBridge::Write(uint16_t Port, uint8_t Width, uint32_t Value) {
  if (Port == kConfigAddressPort) {
    Address_ = Value;
    return;
  }
  uint8_t Offset = 0;
  if (!Target(Port, Offset))
    return;
  for (uint8_t I = 0; I < Width; ++I) {
    Space_[uint8_t(Offset + I)] = static_cast<uint8_t>(Value >> (8 * I));
    Written_[uint8_t(Offset + I)] = true;
  }
}

} // namespace board
