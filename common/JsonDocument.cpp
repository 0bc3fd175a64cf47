// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/JsonDocument.h"

#include <cstdint>

#include "common/Hex.h"

namespace sio {
namespace {

// The length of the well-formed UTF-8 sequence at Text[At] (1 to 4), or 0.
size_t SequenceLength(std::string_view Text, size_t At) {
  const auto Byte = [&Text](size_t I) { return static_cast<uint8_t>(Text[I]); };
  const uint8_t Lead = Byte(At);
  if (Lead < 0x80)
    return 1;
  const size_t Length = Lead >= 0xC2 && Lead <= 0xDF   ? 2
                        : Lead >= 0xE0 && Lead <= 0xEF ? 3
                        : Lead >= 0xF0 && Lead <= 0xF4 ? 4
                                                       : 0;
  if (Length == 0 || Length > Text.size() - At)
    return 0;
  for (size_t K = 1; K < Length; ++K)
    if ((Byte(At + K) & 0xC0) != 0x80)
      return 0;
  // The second byte's range that keeps the code point in bounds.
  const uint8_t Second = Byte(At + 1);
  if ((Lead == 0xE0 && Second < 0xA0) || (Lead == 0xED && Second > 0x9F) ||
      (Lead == 0xF0 && Second < 0x90) || (Lead == 0xF4 && Second > 0x8F))
    return 0;
  return Length;
}

siotool::Json WellFormed(const siotool::Json& Value) {
  if (Value.is_string())
    return WellFormedUtf8(Value.get_ref<const std::string&>());
  if (Value.is_array()) {
    siotool::Json Out = siotool::Json::array();
    for (const auto& Item : Value)
      Out.push_back(WellFormed(Item));
    return Out;
  }
  if (Value.is_object()) {
    siotool::Json Out = siotool::Json::object();
    for (const auto& [Key, Item] : Value.items())
      Out[WellFormedUtf8(Key)] = WellFormed(Item);
    return Out;
  }
  return Value;
}

} // namespace

std::string WellFormedUtf8(std::string_view Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size();) {
    const size_t Length = SequenceLength(Text, I);
    if (Length == 0) {
      Out += "\\x" + Hex(static_cast<uint8_t>(Text[I++]), 2).substr(2);
      continue;
    }
    Out.append(Text.substr(I, Length));
    I += Length;
  }
  return Out;
}

std::string JsonDocument(const siotool::Json& Doc) {
  return WellFormed(Doc).dump(2) + "\n";
}

} // namespace sio
