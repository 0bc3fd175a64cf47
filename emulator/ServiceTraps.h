// SPDX-License-Identifier: BSD-2-Clause-Patent
// What the emulator's processor needs of the firmware it calls the image
// from: the tables it lays out in emulated memory (with every function
// pointer aimed at a trap address), the service behind each trap, and the two
// arguments the entry point is called with. The PEI services
// (emulator/PeiServiceTraps.h) and the DXE services
// (emulator/DxeServiceTraps.h) each provide one; both read a call's
// arguments and return from it through the helpers below.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <unicorn/unicorn.h>

#include "common/Result.h"
#include "emulator/GuestLayout.h"
#include "emulator/GuestMemory.h"

namespace emulator {

class ServiceTraps {
public:
  virtual ~ServiceTraps() = default;
  // Maps and fills the pages the services live in; an error when it cannot.
  virtual sio::Result<void> Build() = 0;
  // Serves the call that reached Address in the trap page and returns to the
  // caller; an error (the fault) when it cannot.
  virtual sio::Result<void> Serve(uint64_t Address) = 0;
  // The entry point's arguments: (FileHandle, PeiServices) or (ImageHandle, SystemTable).
  virtual std::array<uint64_t, 2> EntryArguments() const = 0;
  // The name of the memory at Address when it is one of the pages Build mapped.
  virtual const char* RegionName(uint64_t Address) const = 0;
};

// Argument Index (from 0) of the call being served, widened to 64 bits:
// cdecl's from the stack above the return address, or x64's from RCX, RDX,
// R8, R9 and then the stack past the 32-byte shadow space. Variadic
// arguments lie where fixed ones would. Nothing when the stack is unreadable.
std::optional<uint64_t> CallArgument(uc_engine* Uc, ProcessorMode Mode, const GuestMemory& Memory,
                                     size_t Index);

// The return address of the call being served, checked: an error when the
// stack is unreadable or, in x64 mode, the call was made with RSP not 16-byte
// aligned.
sio::Result<uint64_t> CallReturnAddress(uc_engine* Uc, ProcessorMode Mode,
                                        const GuestMemory& Memory, uint64_t Address);

// The NUL-terminated UCS-2 string at Address, of at most MaxLength characters.
// The error says where it stopped: "at 0x... unreadable" or "... not terminated".
sio::Result<std::u16string> ReadUcs2String(const GuestMemory& Memory, uint64_t Address,
                                           size_t MaxLength);

// Returns from the call with Status in EAX or RAX (widened to 64 bits in x64
// mode, its error bit moved to bit 63) to Return.
void ReturnFromCall(uc_engine* Uc, ProcessorMode Mode, uint32_t Status, uint64_t Return);

} // namespace emulator
