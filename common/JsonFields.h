// SPDX-License-Identifier: BSD-2-Clause-Patent
// Strict reading of the values in scenario and variable JSON: numbers as JSON
// integers or as strings ("0x4E", "78"), byte lists as arrays or "5A:00:00:00",
// statuses by name or number. Every failure is an error (bad input) naming
// the field (e.g. "chip.port: 0x10000 is out of range (at most 0xFFFF)").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"

namespace siotool {

using Json = nlohmann::ordered_json; // reports keep their keys in the order written

// Text a user gave, fit for a one-line message: control characters (a NUL
// too) and bytes that are not UTF-8 written as JSON escapes, so the message
// shows the whole text and stays on one line.
std::string Escaped(std::string_view Text);
// The same in double quotes.
std::string Quoted(std::string_view Text);

// "Parent.Key", or "Key" at the top level (Key escaped).
std::string FieldPath(const std::string& Parent, std::string_view Key);
// "Parent[Index]".
std::string ItemPath(const std::string& Parent, size_t Index);

// Value must be an object whose keys are all in Allowed.
sio::Result<void> RequireObject(const Json& Value, const std::string& Field,
                                std::initializer_list<std::string_view> Allowed);

sio::Result<uint64_t> ReadUnsigned(const Json& Value, const std::string& Field, uint64_t Max);
// A number of at most Max, narrowed to T.
template <typename T>
sio::Result<T> ReadNumber(const Json& Value, const std::string& Field, uint64_t Max) {
  auto Number = ReadUnsigned(Value, Field, Max);
  if (!Number)
    return Number.Failure();
  return static_cast<T>(*Number);
}
inline sio::Result<uint8_t> ReadByte(const Json& Value, const std::string& Field) {
  return ReadNumber<uint8_t>(Value, Field, 0xFF);
}
inline sio::Result<uint16_t> ReadWord(const Json& Value, const std::string& Field) {
  return ReadNumber<uint16_t>(Value, Field, 0xFFFF);
}
sio::Result<bool> ReadBool(const Json& Value, const std::string& Field);
// Bytes as an array of numbers or as hex pairs separated by ':' or ' '
// ("5A:00:00:00"); at most MaxCount of them.
sio::Result<std::vector<uint8_t>> ReadBytes(const Json& Value, const std::string& Field,
                                            size_t MaxCount);

// Exactly Count bytes, read as ReadBytes does; Example says which bytes.
sio::Result<std::vector<uint8_t>> ReadExactBytes(const Json& Value, const std::string& Field,
                                                 size_t Count, const std::string& Example);

// Parses Text as one unsigned number the way ReadUnsigned reads a string; the
// message for text that is no number says what the field takes.
sio::Result<uint64_t> ParseUnsigned(std::string_view Text, const std::string& Field, uint64_t Max);

} // namespace siotool
