// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs passes of the host build of the module on a board.
#pragma once

#include "board/Board.h"
#include "engine/HostPeiServices.h"

namespace engine {

// Calls the module's entry point with the board's PEI services and port bus;
// returns the status as the IA-32 module would.
uint32_t RunHostPass(board::Board& Target);
board::PassResult RunHostPass(const board::Scenario& Scenario);

// One board and one PEI services table, reused pass after pass: each pass
// resets the board to its scenario (as a new board would be) and keeps the
// storage of the passes before, so a pass allocates next to nothing. Every
// pass gives what RunHostPass(Scenario) gives; the result stays readable until
// the next pass.
class HostEngine {
public:
  HostEngine();
  HostEngine(const HostEngine&) = delete;
  HostEngine& operator=(const HostEngine&) = delete;

  // Runs one pass on a board built from Scenario; returns its status.
  uint32_t Run(const board::Scenario& Scenario);

  uint32_t Status() const { return Status_; }
  const pi::Trace& Events() const { return Board_.Events(); }
  board::Board& Target() { return Board_; }
  // The whole outcome of the last pass, as RunHostPass(Scenario) reports it.
  board::PassResult Result() const { return Board_.Result(Status_); }

private:
  board::Board Board_;
  HostPeiServices Services_;
  uint32_t Status_ = 0;
};

} // namespace engine
