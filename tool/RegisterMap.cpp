// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/RegisterMap.h"

#include <cstdio>

#include "board/MixerStandIn.h"
#include "chip/RegisterNames.h"
#include "chip/Registers.h"
#include "common/Hex.h"

using sio::Hex;

namespace siotool {
namespace {

std::array<uint8_t, 256> GlobalView(const board::ChipState& Chip) {
  std::array<uint8_t, 256> Regs{};
  std::copy(Chip.Global.begin(), Chip.Global.end(), Regs.begin());
  return Regs;
}

void AddLines(std::vector<std::string>& Lines, std::optional<uint8_t> Device,
              const std::array<uint8_t, 256>& Regs) {
  for (uint8_t Reg : chip::RegistersToShow(Device, Regs)) {
    std::string Name = chip::DescribeRegister(Device, Reg, Regs);
    char Line[160];
    std::snprintf(Line, sizeof Line, "    0x%02X = 0x%02X  %s", Reg, Regs[Reg], Name.c_str());
    Lines.push_back(Line);
  }
}

} // namespace

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
                    Hex(Chip.IndexPort, 4) + ", data port " +
                    Hex(chip::DataPort(Chip.IndexPort), 4));
    Lines.push_back("  Registers that differ from their reset value:");
    for (uint8_t Reg : ChangedStandInRegisters(*Chip.Flat))
      Lines.push_back("    " + Hex(Reg, 2) + " = " + Hex((*Chip.Flat)[Reg], 2) + "  (reset " +
                      Hex(board::MixerStandIn::kResetValues[Reg], 2) + ")");
    return Lines;
  }
  Lines.push_back("Chip at index port " + Hex(Chip.IndexPort, 4) + ", data port " +
                  Hex(chip::DataPort(Chip.IndexPort), 4) + ", " +
                  (Chip.InConfigMode ? "left in" : "out of") + " configuration mode");
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
      Changed[Hex(Reg, 2)] = Hex((*Chip.Flat)[Reg], 2);
    return {{"kind", "qemu-sb16-mixer"},
            {"index_port", Hex(Chip.IndexPort, 4)},
            {"changed_registers", Changed}};
  }
  auto Registers = [](std::optional<uint8_t> Device, const std::array<uint8_t, 256>& Regs) {
    Json Object = Json::object();
    for (uint8_t Reg : chip::RegistersToShow(Device, Regs))
      Object[Hex(Reg, 2)] = Hex(Regs[Reg], 2);
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
