// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one way a number is written in text the tools read (options, scenario
// and variable fields, statuses): decimal, or hex after "0x". A leading zero
// is no octal marker: "010" is ten.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace sio {

// The number Text spells whole, or nullopt (not a number, or beyond 64 bits).
inline std::optional<uint64_t> ParseNumber(std::string_view Text) {
  int Base = 10;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Text.remove_prefix(2);
    Base = 16;
  }
  uint64_t Value = 0;
  auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value, Base);
  if (Text.empty() || Error != std::errc() || End != Text.data() + Text.size())
    return std::nullopt;
  return Value;
}

// The words that tell a user how to write one.
inline constexpr const char* kNumberRule = "write it in decimal or as 0x-prefixed hex";

} // namespace sio
