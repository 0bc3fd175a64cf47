// SPDX-License-Identifier: BSD-2-Clause-Patent
// GUIDs: the 16 bytes as they lie in memory and in firmware records, and
// their registry text ("6F3BDEE2-6FCF-492E-80AC-7C786D9FC397").
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pi {

using Guid = std::array<uint8_t, 16>;

// Registry text to bytes: the first three groups are stored little-endian,
// the last two byte by byte. Nothing for text of another shape.
constexpr std::optional<Guid> ParseGuid(std::string_view Text) {
  constexpr int kPlace[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
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
  Guid G{};
  int Pair = 0;
  for (size_t I = 0; I < Text.size();) {
    if (I == 8 || I == 13 || I == 18 || I == 23) {
      ++I;
      continue;
    }
    int Hi = Nibble(Text[I]), Lo = Nibble(Text[I + 1]);
    if (Hi < 0 || Lo < 0)
      return std::nullopt;
    G[kPlace[Pair++]] = static_cast<uint8_t>(Hi << 4 | Lo);
    I += 2;
  }
  return G;
}

// A GUID constant from its registry text, checked when compiled.
consteval Guid GuidFromText(const char (&Text)[37]) {
  auto G = ParseGuid(std::string_view(Text, 36));
  if (!G)
    throw "not a GUID in registry format"; // a compile error in a constant expression
  return *G;
}

std::string FormatGuid(const Guid& G);
// Appends the registry text of G to Text (no allocation beyond the append).
void AppendGuid(std::string& Text, const Guid& G);

} // namespace pi
