// SPDX-License-Identifier: BSD-2-Clause-Patent
// "0x1A2B" (or "0x00001A2B" with Digits 8): how host libraries show
// addresses, offsets and sizes in their messages.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sio {

inline std::string Hex(uint64_t Value, int Digits = 0) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%0*llX", Digits, static_cast<unsigned long long>(Value));
  return Text;
}

} // namespace sio
