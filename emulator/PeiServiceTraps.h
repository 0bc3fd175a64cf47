// SPDX-License-Identifier: BSD-2-Clause-Patent
// The PEI services table, the read-only variable PPI and its descriptor, laid
// out in emulated memory as on IA-32 or X64 (4- or 8-byte pointers), with
// every function pointer aimed at a trap address. A call that reaches a trap
// is served by the board's PEI Foundation model exactly as the host build's
// services serve it: the arguments read as the processor mode passes them
// (cdecl on the stack; or RCX, RDX, R8, R9 and then the stack past the
// 32-byte shadow space), results written back, the status in EAX or RAX, and
// a return to the caller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include <unicorn/unicorn.h>

#include "board/Board.h"
#include "common/Result.h"
#include "emulator/GuestLayout.h"
#include "emulator/GuestMemory.h"
#include "emulator/ServiceTraps.h"

namespace emulator {

class PeiServiceTraps : public ServiceTraps {
public:
  PeiServiceTraps(uc_engine* Uc, ProcessorMode Mode, board::Board& Target, GuestMemory& Memory)
      : Uc_(Uc), Mode_(Mode), Width_(PointerSize(Mode)), Target_(Target), Memory_(Memory) {}

  // Maps the trap page and the PEI Foundation page, fills them, and installs
  // the variable PPI in the model unless the scenario leaves it out.
  // An error when the pages cannot be mapped.
  sio::Result<void> Build() override;
  // Installs the variable PPI in the model of a board that replaced the one
  // Build saw (an engine reused across passes), unless its scenario leaves it out.
  void PreinstallVariablePpi();

  // Serves the call that reached Address in the trap page and returns to the
  // caller. An error (the fault) when it cannot: no service there, a service
  // the board does not provide, or arguments the PEI Foundation would trip over.
  sio::Result<void> Serve(uint64_t Address) override;
  // (FileHandle, PeiServices).
  std::array<uint64_t, 2> EntryArguments() const override;
  const char* RegionName(uint64_t Address) const override;

private:
  // The first Count arguments of the call being served, each widened to 64 bits.
  template <size_t Count> sio::Result<std::array<uint64_t, Count>> Arguments(const char* Service);
  // Each serves one service and gives the status it returns.
  sio::Result<uint32_t> InstallPpi();
  sio::Result<uint32_t> LocatePpi();
  sio::Result<uint32_t> GetVariable();

  uc_engine* Uc_;
  ProcessorMode Mode_;
  uint32_t Width_; // bytes of a pointer or UINTN
  board::Board& Target_;
  GuestMemory& Memory_;
};

} // namespace emulator
