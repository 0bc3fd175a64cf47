// SPDX-License-Identifier: BSD-2-Clause-Patent
// A simulated board as the module's pass leaves it (the pass of the built-in
// board values, or of a patched image's), ready to be read by `sio
// inspect`'s code, and the accesses made after the pass.
#pragma once

#include <algorithm>
#include <initializer_list>

#include "board/Scenario.h"
#include "chip/BoardValues.h"
#include "engine/HostBoardValues.h"
#include "engine/HostEngine.h"
#include "inspect/BoardPorts.h"

namespace inspect::test {

struct PassedBoard {
  explicit PassedBoard(const board::Scenario& Scenario,
                       const chip::BoardValues& Values = chip::DefaultBoardValues())
      : Record(Values.Record()) {
    Run(Scenario);
  }
  // The board rebuilt from Scenario and the pass run again.
  void Run(const board::Scenario& Scenario) {
    engine::ScopedBoardValues Scoped(Record);
    Engine.Run(Scenario);
    PassEvents = Engine.Events().size();
  }
  board::Board& Target() { return Engine.Target(); }
  // Port accesses made on the board since the pass ended.
  pi::Trace AfterPass() const {
    return pi::Trace(Engine.Events().begin() + static_cast<long>(PassEvents),
                     Engine.Events().end());
  }

  SioBoardConfig Record;
  engine::HostEngine Engine;
  size_t PassEvents = 0;
  BoardPorts Ports{Engine.Target().Bus()};
};

inline board::Scenario ChipAt(std::optional<uint16_t> Port) {
  board::Scenario Scenario = board::DefaultScenario();
  Scenario.ChipPort = Port;
  return Scenario;
}

// The board values of an image patched to play Script's (register, value)
// bytes instead of the built-in script.
inline chip::BoardValues WithScript(std::initializer_list<uint8_t> Script) {
  chip::BoardValues Values = chip::DefaultBoardValues();
  Values.ScriptBytes.fill(0);
  std::copy(Script.begin(), Script.end(), Values.ScriptBytes.begin());
  return Values;
}

// The board values of an image patched to probe these ports only, in order.
inline chip::BoardValues ProbingOnly(std::initializer_list<uint16_t> Ports) {
  chip::BoardValues Values = chip::DefaultBoardValues();
  Values.ConfigPort = 0;
  Values.CandidatePorts.fill(0);
  std::copy(Ports.begin(), Ports.end(), Values.CandidatePorts.begin());
  return Values;
}

// The UART at 0x2F8 with interrupt 4 instead of 0x3E8 and 3; the globals as
// built in, logical device 1 left alone.
inline chip::BoardValues Uart2F8() {
  return WithScript({0x07, 0x00, 0x25, 0x01, 0x27, 0x10, 0x30, 0x01, 0x60, 0x02, 0x61, 0xF8, 0x70,
                     0x04, 0x00, 0x00});
}

} // namespace inspect::test
