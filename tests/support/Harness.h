// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs a piece of the module against a board built from a scenario and hands
// back the trace it left.
#pragma once

#include <utility>

#include "board/Board.h"
#include "engine/HostPeiServices.h"
#include "engine/HostPortIo.h"

namespace test {

class Harness {
public:
  explicit Harness(const board::Scenario& Scenario)
      : Board_(Scenario), Services_(Board_), Bus_(Board_.Bus()) {}

  board::Board& Board() { return Board_; }
  const EFI_PEI_SERVICES** PeiServices() { return Services_.PeiServices(); }
  const pi::Trace& Events() const { return Board_.Events(); }

private:
  board::Board Board_;
  engine::HostPeiServices Services_;
  engine::ScopedPortBus Bus_;
};

inline board::Scenario ChipAt(std::optional<uint16_t> Port, uint8_t High = 0x02,
                              uint8_t Low = 0x16) {
  board::Scenario S;
  S.ChipPort = Port;
  S.ChipIdHigh = High;
  S.ChipIdLow = Low;
  return S;
}

} // namespace test
