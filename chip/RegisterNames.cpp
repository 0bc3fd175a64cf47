// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "chip/RegisterNames.h"

#include "common/Hex.h"
#include "common/JsonFields.h"

using sio::Hex;

namespace chip {

std::string RegisterName(uint8_t Device, uint8_t Reg) {
  switch (Reg) {
  case kRegLogicalDevice:
    return "logical device number";
  case kRegChipIdHigh:
    return "chip ID, high byte";
  case kRegChipIdLow:
    return "chip ID, low byte";
  case kRegGlobal25:
  case kRegGlobal27:
    return "chip-global register " + Hex(Reg, 2);
  case kRegActivate:
    return "activate";
  case kRegIoBaseHigh:
    return "I/O base, high byte";
  case kRegIoBaseLow:
    return "I/O base, low byte";
  case kRegInterrupt:
    return "interrupt level";
  default:
    break;
  }
  if (Device == kLd8 && Reg == kLd8RegMode)
    return "mode bits, ANDed by the setup";
  if (Device == kLd8 && Reg == kLd8RegValue)
    return "setting from the setup, Param[0]";
  return {};
}

std::vector<uint8_t> RegistersToShow(std::optional<uint8_t> Device,
                                     const std::array<uint8_t, 256>& Regs) {
  std::vector<uint8_t> Shown;
  int First = Device ? kFirstDeviceRegister : 0, Last = Device ? 0xFF : kFirstDeviceRegister - 1;
  for (int Reg = First; Reg <= Last; ++Reg) {
    auto R = static_cast<uint8_t>(Reg);
    if (Regs[R] != 0 || !RegisterName(Device.value_or(0), R).empty())
      Shown.push_back(R);
  }
  return Shown;
}

namespace {

std::string ValueNote(uint8_t Device, uint8_t Reg, const std::array<uint8_t, 256>& Regs) {
  uint8_t V = Regs[Reg];
  if (Reg == kRegActivate)
    return V & 1 ? "active" : "inactive";
  if (Reg == kRegIoBaseLow)
    return "base " + Hex(Regs[kRegIoBaseHigh] << 8 | V, 4);
  if (Reg == kRegInterrupt)
    return "IRQ " + std::to_string(V & 0x0F);
  if (Reg == kRegLogicalDevice)
    return "LD" + std::to_string(V) + " selected";
  (void)Device;
  return {};
}
} // namespace

std::string DescribeRegister(std::optional<uint8_t> Device, uint8_t Reg,
                             const std::array<uint8_t, 256>& Regs) {
  std::string Name = RegisterName(Device.value_or(0), Reg);
  std::string Note =
      Device || Reg == kRegLogicalDevice ? ValueNote(Device.value_or(0), Reg, Regs) : std::string();
  if (!Note.empty())
    Name += Name.empty() ? Note : " (" + Note + ")";
  return Name;
}

} // namespace chip
