// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/RegisterMap.h"

#include <cstdio>

namespace siotool {

using namespace chip;

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
    return "chip-global register " + Hex(Reg);
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

std::array<uint8_t, 256> GlobalView(const board::ChipState& Chip) {
  std::array<uint8_t, 256> Regs{};
  std::copy(Chip.Global.begin(), Chip.Global.end(), Regs.begin());
  return Regs;
}

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

void AddLines(std::vector<std::string>& Lines, std::optional<uint8_t> Device,
              const std::array<uint8_t, 256>& Regs) {
  for (uint8_t Reg : RegistersToShow(Device, Regs)) {
    std::string Name = DescribeRegister(Device, Reg, Regs);
    char Line[160];
    std::snprintf(Line, sizeof Line, "    0x%02X = 0x%02X  %s", Reg, Regs[Reg], Name.c_str());
    Lines.push_back(Line);
  }
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

std::vector<uint8_t> ChangedStandInRegisters(const std::array<uint8_t, 256>& Flat) {
  std::vector<uint8_t> Changed;
  for (size_t Reg = 0; Reg < Flat.size(); ++Reg)
    if (Flat[Reg] != board::MixerStandIn::kResetValues[Reg])
      Changed.push_back(static_cast<uint8_t>(Reg));
  return Changed;
}

std::vector<std::string> FormatRegisterMap(const board::ChipState& Chip) {
  std::vector<std::string> Lines;
  if (Chip.Flat) {
    Lines.push_back("Stand-in (QEMU's SB16 mixer, one flat register file) at index port " +
                    Hex(Chip.IndexPort, 4) + ", data port " + Hex(Chip.IndexPort + 1, 4));
    Lines.push_back("  Registers that differ from their reset value:");
    for (uint8_t Reg : ChangedStandInRegisters(*Chip.Flat))
      Lines.push_back("    " + Hex(Reg) + " = " + Hex((*Chip.Flat)[Reg]) + "  (reset " +
                      Hex(board::MixerStandIn::kResetValues[Reg]) + ")");
    return Lines;
  }
  Lines.push_back("Chip at index port " + Hex(Chip.IndexPort, 4) + ", data port " +
                  Hex(Chip.IndexPort + 1, 4) + ", " + (Chip.InConfigMode ? "left in" : "out of") +
                  " configuration mode");
  Lines.push_back("  Global registers:");
  AddLines(Lines, std::nullopt, GlobalView(Chip));
  for (const auto& [Device, Regs] : Chip.Devices) {
    Lines.push_back("  Logical device " + std::to_string(Device) + ":");
    AddLines(Lines, Device, Regs);
  }
  return Lines;
}

Json RegisterMapToJson(const board::ChipState& Chip) {
  if (Chip.Flat) {
    Json Changed = Json::object();
    for (uint8_t Reg : ChangedStandInRegisters(*Chip.Flat))
      Changed[Hex(Reg)] = Hex((*Chip.Flat)[Reg]);
    return {{"kind", "qemu-sb16-mixer"},
            {"index_port", Hex(Chip.IndexPort, 4)},
            {"changed_registers", Changed}};
  }
  auto Registers = [](std::optional<uint8_t> Device, const std::array<uint8_t, 256>& Regs) {
    Json Object = Json::object();
    for (uint8_t Reg : RegistersToShow(Device, Regs))
      Object[Hex(Reg)] = Hex(Regs[Reg]);
    return Object;
  };
  Json Doc = {{"index_port", Hex(Chip.IndexPort, 4)},
              {"in_config_mode", Chip.InConfigMode},
              {"global", Registers(std::nullopt, GlobalView(Chip))},
              {"devices", Json::object()}};
  for (const auto& [Device, Regs] : Chip.Devices) {
    Doc["devices"][std::to_string(Device)] = Registers(Device, Regs);
  }
  return Doc;
}

} // namespace siotool
