// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/Guid.h"

namespace pi {

std::string FormatGuid(const Guid& G) {
  std::string Text;
  AppendGuid(Text, G);
  return Text;
}

void AppendGuid(std::string& Out, const Guid& G) {
  // Memory byte shown at each hex pair of the text; -1 marks a dash. Written
  // out rather than with printf: every traced service call formats GUIDs.
  static constexpr int kShown[20] = {3,  2, 1, 0,  -1, 5,  4,  -1, 7,  6,
                                     -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
  static constexpr char kHex[] = "0123456789ABCDEF";
  char Text[36];
  size_t At = 0;
  for (int Byte : kShown) {
    if (Byte < 0) {
      Text[At++] = '-';
      continue;
    }
    Text[At++] = kHex[G[Byte] >> 4];
    Text[At++] = kHex[G[Byte] & 0xF];
  }
  Out.append(Text, At);
}

} // namespace pi
