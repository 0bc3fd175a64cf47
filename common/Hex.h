// SPDX-License-Identifier: BSD-2-Clause-Patent
// "0x1A2B" (or "0x00001A2B" with Digits 8): how host libraries show
// addresses, offsets and sizes in their messages; and text taken from a file
// made safe to print, its odd bytes shown in hex.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace sio {

inline std::string Hex(uint64_t Value, int Digits = 0) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%0*llX", Digits, static_cast<unsigned long long>(Value));
  return Text;
}

// Text from a file (a section name, a label) as a report prints it: a byte
// that is a control character (below 0x20, 0x7F, or U+0080-U+009F in UTF-8)
// or not part of a well-formed UTF-8 sequence is written as \xNN, so no
// escape sequence from the file reaches a terminal and its bytes can still
// be told. Printable ASCII and well-formed UTF-8 pass as they are.
inline std::string PrintableText(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  const auto Byte = [&Text](size_t At) { return static_cast<uint8_t>(Text[At]); };
  for (size_t I = 0; I < Text.size();) {
    const uint8_t Lead = Byte(I);
    size_t Length = Lead >= 0x20 && Lead < 0x7F    ? 1
                    : Lead >= 0xC2 && Lead <= 0xDF ? 2
                    : Lead >= 0xE0 && Lead <= 0xEF ? 3
                    : Lead >= 0xF0 && Lead <= 0xF4 ? 4
                                                   : 0;
    if (Length > Text.size() - I)
      Length = 0;
    for (size_t K = 1; K < Length; ++K)
      if ((Byte(I + K) & 0xC0) != 0x80)
        Length = 0;
    if (Length == 2 && Lead == 0xC2 && Byte(I + 1) < 0xA0) // C1 controls
      Length = 0;
    if (Length == 0) {
      Out += "\\x";
      constexpr char kDigits[] = "0123456789ABCDEF";
      Out += kDigits[Lead >> 4];
      Out += kDigits[Lead & 0xF];
      ++I;
      continue;
    }
    Out.append(Text.substr(I, Length));
    I += Length;
  }
  return Out;
}

} // namespace sio
