#include "board/Guid.h"

namespace board {

std::string FormatGuid(const GuidBytes& G) {
  std::string Text;
  AppendGuid(Text, G);
  return Text;
}

void AppendGuid(std::string& Out, const GuidBytes& G) {
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

std::optional<GuidBytes> ParseGuid(std::string_view Text) {
  // Byte order of each hex pair in the text, mapped to its place in memory.
  static constexpr int kPlace[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  if (Text.size() != 36 || Text[8] != '-' || Text[13] != '-' || Text[18] != '-' ||
      Text[23] != '-') {
    return std::nullopt;
  }
  auto Nibble = [](char C) -> int {
    if (C >= '0' && C <= '9')
      return C - '0';
    if (C >= 'a' && C <= 'f')
      return C - 'a' + 10;
    if (C >= 'A' && C <= 'F')
      return C - 'A' + 10;
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
    if (Hi < 0 || Lo < 0)
      return std::nullopt;
    G[kPlace[Pair++]] = static_cast<uint8_t>(Hi << 4 | Lo);
  }
  return G;
}

const GuidBytes kReadOnlyVariable2PpiGuid = *ParseGuid("2AB86EF5-ECB5-4134-B556-3854CA1FE1B4");
const GuidBytes kSioReadyPpiGuid = *ParseGuid("6F3BDEE2-6FCF-492E-80AC-7C786D9FC397");
const GuidBytes kSioSetupVendorGuid = *ParseGuid("CD2E75EC-4162-411D-B7F1-E1D882E697AB");

} // namespace board
