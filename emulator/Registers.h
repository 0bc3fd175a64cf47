// SPDX-License-Identifier: BSD-2-Clause-Patent
// The registers the emulator reads and writes, named for the processor mode:
// ESP or RSP, EIP or RIP, EAX or RAX. Values travel as 64 bits; an IA-32
// register reads zero-extended and writes its low 32 bits.
#pragma once

#include <cstdint>

#include <unicorn/unicorn.h>

#include "emulator/GuestLayout.h"

namespace emulator {

struct RegisterNames {
  int Sp, Ip, Ax;
  const char *SpName, *IpName;
};

inline constexpr RegisterNames Registers(ProcessorMode Mode) {
  return Mode == ProcessorMode::X64
             ? RegisterNames{UC_X86_REG_RSP, UC_X86_REG_RIP, UC_X86_REG_RAX, "RSP", "RIP"}
             : RegisterNames{UC_X86_REG_ESP, UC_X86_REG_EIP, UC_X86_REG_EAX, "ESP", "EIP"};
}

inline uint64_t ReadRegister(uc_engine* Uc, int Reg) {
  uint64_t Value = 0;
  uc_reg_read(Uc, Reg, &Value);
  return Value;
}

inline void WriteRegister(uc_engine* Uc, int Reg, uint64_t Value) {
  uc_reg_write(Uc, Reg, &Value);
}

} // namespace emulator
