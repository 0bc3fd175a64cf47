// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Expectation.h"

#include <algorithm>
#include <array>

#include "engine/HostBoardValues.h"
#include "engine/HostEngine.h"
#include "inspect/BoardPorts.h"
#include "inspect/ChipReader.h"
#include "sio/SioConfigPort.h"

namespace inspect {
namespace {

bool PresetBy(const board::Scenario& Scenario, const RegisterKey& Key) {
  return std::any_of(Scenario.Registers.begin(), Scenario.Registers.end(), [&](const auto& Preset) {
    return Preset.Reg == Key.Reg && (!Key.Device || Preset.Device == *Key.Device);
  });
}

// Registers whose start value the pass never depends on and that no preset
// may change: the device select and the chip ID.
bool NeverPreset(const RegisterKey& Key) {
  return !Key.Device && (Key.Reg == SioRegLogicalDevice || Key.Reg == SioRegChipIdHigh ||
                         Key.Reg == SioRegChipIdLow);
}

} // namespace

sio::Result<Expectation> ExpectFromScenario(const board::Scenario& Scenario, bool All,
                                            const std::string& Source,
                                            const chip::BoardValues& Values) {
  const RegisterSet Set = All ? AllRegisters() : ModuleRegisters(Values);
  const SioBoardConfig Record = Values.Record();
  engine::ScopedBoardValues Scoped(Record);
  engine::HostEngine Engine;
  std::array<ChipReading, 2> Runs;
  const std::array<uint8_t, 2> Starts = {0x00, 0xFF};
  // The stand-in's registers start at reset values known from QEMU: one
  // pass from them tells every register.
  const bool StartKnown = Scenario.Kind == board::ChipKind::MixerStandIn;
  for (size_t Run = 0; Run < (StartKnown ? 1 : Runs.size()); ++Run) {
    board::Scenario Board = Scenario;
    for (const RegisterKey& Key : Set.Keys()) {
      if (!StartKnown && !NeverPreset(Key) && !PresetBy(Scenario, Key))
        Board.Registers.push_back({Key.Device.value_or(0), Key.Reg, Starts[Run]});
    }
    Engine.Run(Board);
    BoardPorts Ports(Engine.Target().Bus());
    auto Reading = InspectChip(Ports, {std::nullopt, All, Values});
    if (!Reading)
      return Reading.Within(Source + ": after the module's pass on the board model");
    Runs[Run] = std::move(*Reading);
  }
  if (StartKnown)
    Runs[1] = Runs[0];
  Expectation Out;
  Out.Source = Source;
  for (const auto& [Key, Low] : Runs[0].Values) {
    // Register 0x07 is the device select, which any later user of the chip
    // changes: shown, never expected.
    bool Selector = !Key.Device && Key.Reg == SioRegLogicalDevice;
    uint8_t High = Runs[1].Value(Key).value_or(static_cast<uint8_t>(~Low));
    auto Known = static_cast<uint8_t>(Selector ? 0 : ~(Low ^ High));
    Out.Registers[Key] = {static_cast<uint8_t>(Low & Known), Known};
  }
  return Out;
}

board::Scenario LiveScenario(const LiveVariable& Variable, const chip::BoardValues& Board) {
  board::Scenario Scenario = board::DefaultScenario();
  if (uint16_t First = ModuleFirstPort(Board); First != 0)
    Scenario.ChipPort = First;
  Scenario.Registers.clear();
  Scenario.ChipReadAnswers.clear();
  Scenario.SetupVariable.reset();
  if (Variable.Present)
    Scenario.SetupVariable = Variable.Content;
  return Scenario;
}

sio::Result<Expectation> ExpectFromVariable(const LiveVariable& Variable, bool All,
                                            const chip::BoardValues& Board) {
  auto Out =
      ExpectFromScenario(LiveScenario(Variable, Board), All, "the live setup variable", Board);
  if (Out) {
    Out->FromSetupVariable = true;
    Out->Variable = Variable;
  }
  return Out;
}

} // namespace inspect
