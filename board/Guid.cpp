#include "board/Guid.h"

#include <cstdio>

namespace board {

std::string FormatGuid(const GuidBytes& G) {
  char Text[37];
  std::snprintf(Text, sizeof Text, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                G[3], G[2], G[1], G[0], G[5], G[4], G[7], G[6], G[8], G[9], G[10], G[11], G[12],
                G[13], G[14], G[15]);
  return Text;
}

std::optional<GuidBytes> ParseGuid(std::string_view Text) {
  // Byte order of each hex pair in the text, mapped to its place in memory.
  static constexpr int kPlace[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  if (Text.size() != 36 || Text[8] != '-' || Text[13] != '-' || Text[18] != '-' ||
      Text[23] != '-') {
    return std::nullopt;
  }
  auto Nibble = [](char C) -> int {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    return -1;
  };
  GuidBytes G{};
  int Pair = 0;
  for (size_t I = 0; I < Text.size(); I += 2) {
    if (Text[I] == '-') {
      --I;
      continue;
    }
    int Hi = Nibble(Text[I]), Lo = Nibble(Text[I + 1]);
    if (Hi < 0 || Lo < 0) return std::nullopt;
    G[kPlace[Pair++]] = static_cast<uint8_t>(Hi << 4 | Lo);
  }
  return G;
}

const GuidBytes kReadOnlyVariable2PpiGuid = *ParseGuid("2AB86EF5-ECB5-4134-B556-3854CA1FE1B4");
const GuidBytes kSioReadyPpiGuid = *ParseGuid("6F3BDEE2-6FCF-492E-80AC-7C786D9FC397");
const GuidBytes kSioSetupVendorGuid = *ParseGuid("CD2E75EC-4162-411D-B7F1-E1D882E697AB");

} // namespace board
