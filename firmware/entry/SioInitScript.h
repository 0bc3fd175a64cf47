// Register script played at the configuration port after discovery, in
// Plug and Play ISA terms. The pair (0x00, 0x00) ends it and is not written.
#pragma once

#include "platform/PiPei.h"

struct SioRegisterWrite {
  UINT8 Register;
  UINT8 Value;
};
static_assert(sizeof(SioRegisterWrite) == 2 && __builtin_offsetof(SioRegisterWrite, Value) == 1);

inline constexpr SioRegisterWrite SioInitScript[] = {
    {0x07, 0x00}, // select logical device 0
    {0x25, 0x01}, // chip-global register 0x25
    {0x27, 0x10}, // chip-global register 0x27
    {0x30, 0x01}, // activate logical device 0
    {0x60, 0x03}, // I/O base high byte
    {0x61, 0xE8}, // I/O base low byte: 0x03E8
    {0x70, 0x03}, // interrupt level 3
    {0x07, 0x01}, // select logical device 1
    {0x30, 0x00}, // deactivate logical device 1
    {0x60, 0x00}, // I/O base high byte
    {0x61, 0x00}, // I/O base low byte: 0x0000
    {0x70, 0x00}, // interrupt level 0
    {0x00, 0x00}, // end of script
};

// Pairs before the end pair, counted while the module is built (a script
// without an end pair does not compile).
inline constexpr UINTN SioInitScriptLength = [] {
  UINTN Length = 0;
  while (SioInitScript[Length].Register != 0 || SioInitScript[Length].Value != 0) {
    ++Length;
  }
  return Length;
}();

// Plays SioInitScript at index port P, up to its end pair.
void SioRunInitScript(UINT16 P);
