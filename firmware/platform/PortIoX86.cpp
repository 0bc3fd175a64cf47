// SPDX-License-Identifier: BSD-2-Clause-Patent
// Target port operations: one x86 in/out instruction per call. The asm is
// volatile and clobbers memory so the compiler neither merges, drops nor
// reorders accesses.
#include "platform/PortIo.h"

UINT8 PortRead8(UINT16 Port) {
  UINT8 Value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(Value) : "Nd"(Port) : "memory");
  return Value;
}

void PortWrite8(UINT16 Port, UINT8 Value) {
  __asm__ __volatile__("outb %b0, %w1" : : "a"(Value), "Nd"(Port) : "memory");
}

void PortWrite16(UINT16 Port, UINT16 Value) {
  __asm__ __volatile__("outw %w0, %w1" : : "a"(Value), "Nd"(Port) : "memory");
}

void PortWrite32(UINT16 Port, UINT32 Value) {
  __asm__ __volatile__("outl %0, %w1" : : "a"(Value), "Nd"(Port) : "memory");
}
