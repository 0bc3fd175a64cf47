// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/ServiceTraps.h"

#include "common/Hex.h"
#include "emulator/Registers.h"
#include "pi/Status.h"

namespace emulator {
namespace {

// The Microsoft x64 convention's argument registers; later arguments lie on
// the stack past the return address and the 32-byte shadow space.
constexpr int kX64ArgumentRegisters[] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8,
                                         UC_X86_REG_R9};
constexpr uint32_t kX64ShadowSpace = 32;

} // namespace

std::optional<uint64_t> CallArgument(uc_engine* Uc, ProcessorMode Mode, const GuestMemory& Memory,
                                     size_t Index) {
  if (Mode == ProcessorMode::X64 && Index < std::size(kX64ArgumentRegisters))
    return ReadRegister(Uc, kX64ArgumentRegisters[Index]);
  const uint64_t Sp = ReadRegister(Uc, Registers(Mode).Sp);
  const uint64_t At =
      Mode == ProcessorMode::X64 ? Sp + 8 + kX64ShadowSpace + 8 * (Index - 4) : Sp + 4 + 4 * Index;
  return Memory.ReadWord(At, PointerSize(Mode));
}

sio::Result<uint64_t> CallReturnAddress(uc_engine* Uc, ProcessorMode Mode,
                                        const GuestMemory& Memory, uint64_t Address) {
  const uint64_t Sp = ReadRegister(Uc, Registers(Mode).Sp);
  auto Return = Memory.ReadWord(Sp, PointerSize(Mode));
  if (!Return)
    return sio::Fail(sio::ErrorKind::Failed,
                     "service trap " + sio::Hex(Address, 8) + " reached with an unreadable stack");
  // The x64 convention calls with RSP 16-byte aligned, so the callee finds
  // it 8 bytes past a multiple of 16; a service may rely on that.
  if (Mode == ProcessorMode::X64 && Sp % 16 != 8) {
    return sio::Fail(sio::ErrorKind::Failed, "service trap " + sio::Hex(Address, 8) +
                                                 " called with RSP " + sio::Hex(Sp + 8, 8) +
                                                 " not 16-byte aligned (called from " +
                                                 sio::Hex(*Return, 8) + ")");
  }
  return *Return;
}

sio::Result<std::u16string> ReadUcs2String(const GuestMemory& Memory, uint64_t Address,
                                           size_t MaxLength) {
  std::u16string Text;
  for (size_t I = 0; I < MaxLength; ++I) {
    char16_t C = 0;
    if (!Memory.Read(Address + 2 * I, &C, 2))
      return sio::Fail("at " + sio::Hex(Address, 8) + " unreadable");
    if (C == 0)
      return Text;
    Text.push_back(C);
  }
  return sio::Fail("at " + sio::Hex(Address, 8) + " not terminated");
}

void ReturnFromCall(uc_engine* Uc, ProcessorMode Mode, uint32_t Status, uint64_t Return) {
  const RegisterNames R = Registers(Mode);
  const uint64_t Sp = ReadRegister(Uc, R.Sp);
  WriteRegister(Uc, R.Ax, Mode == ProcessorMode::X64 ? pi::WidenStatus(Status) : uint64_t(Status));
  WriteRegister(Uc, R.Sp, Sp + PointerSize(Mode));
  WriteRegister(Uc, R.Ip, Return);
}

} // namespace emulator
