// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/ConsoleText.h"

#include <cctype>

namespace ovmf {

std::string PlainConsoleText(std::string_view Text) {
  std::string Out;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == '\x1b' && I + 1 < Text.size() && Text[I + 1] == '[') {
      I += 2;
      while (I < Text.size() && !std::isalpha(static_cast<unsigned char>(Text[I])))
        ++I;
      continue;
    }
    if (Text[I] != '\r')
      Out += Text[I];
  }
  return Out;
}

} // namespace ovmf
