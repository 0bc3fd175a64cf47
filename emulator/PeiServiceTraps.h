// SPDX-License-Identifier: BSD-2-Clause-Patent
// The PEI services table, the read-only variable PPI and its descriptor, laid
// out in emulated memory as on IA-32, with every function pointer aimed at a
// trap address. A call that reaches a trap is served by the board's PEI
// Foundation model exactly as the host build's services serve it: cdecl
// arguments read from the stack, results written back, status in EAX, and a
// return to the caller.
#pragma once

#include <cstdint>

#include <unicorn/unicorn.h>

#include "board/Board.h"
#include "common/Result.h"
#include "emulator/GuestMemory.h"

namespace emulator {

class PeiServiceTraps {
public:
  PeiServiceTraps(uc_engine* Uc, board::Board& Target, GuestMemory& Memory)
      : Uc_(Uc), Target_(Target), Memory_(Memory) {}

  // Maps the trap page and the PEI Foundation page, fills them, and installs
  // the variable PPI in the model unless the scenario leaves it out.
  // An error when the pages cannot be mapped.
  sio::Result<void> Build();
  // Installs the variable PPI in the model of a board that replaced the one
  // Build saw (an engine reused across passes), unless its scenario leaves it out.
  void PreinstallVariablePpi();

  // Serves the call that reached Address in the trap page and returns to the
  // caller. An error (the fault) when it cannot: no service there, a service
  // the board does not provide, or arguments the PEI Foundation would trip over.
  sio::Result<void> Serve(uint32_t Address);

private:
  // Each serves one service from its cdecl arguments at Args and gives the
  // status it returns.
  sio::Result<uint32_t> InstallPpi(uint32_t Args);
  sio::Result<uint32_t> LocatePpi(uint32_t Args);
  sio::Result<uint32_t> GetVariable(uint32_t Args);

  uc_engine* Uc_;
  board::Board& Target_;
  GuestMemory& Memory_;
};

} // namespace emulator
