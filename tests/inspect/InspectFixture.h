// SPDX-License-Identifier: BSD-2-Clause-Patent
// A simulated board as the module's pass leaves it, ready to be read by
// `sio inspect`'s code, and the accesses made after the pass.
#pragma once

#include "board/Scenario.h"
#include "engine/HostEngine.h"
#include "inspect/BoardPorts.h"

namespace inspect::test {

struct PassedBoard {
  explicit PassedBoard(const board::Scenario& Config) { Run(Config); }
  // The board rebuilt from Config and the pass run again.
  void Run(const board::Scenario& Config) {
    Engine.Run(Config);
    PassEvents = Engine.Events().size();
  }
  board::Board& Target() { return Engine.Target(); }
  // Port accesses made on the board since the pass ended.
  board::Trace AfterPass() const {
    return board::Trace(Engine.Events().begin() + static_cast<long>(PassEvents),
                        Engine.Events().end());
  }

  engine::HostEngine Engine;
  size_t PassEvents = 0;
  BoardPorts Ports{Engine.Target().Bus()};
};

inline board::Scenario ChipAt(std::optional<uint16_t> Port) {
  board::Scenario Config = board::DefaultScenario();
  Config.ChipPort = Port;
  return Config;
}

} // namespace inspect::test
