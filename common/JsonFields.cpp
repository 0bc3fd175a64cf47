// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/JsonFields.h"
#include "common/Hex.h"
#include "common/Number.h"

#include <cstdio>

using sio::Hex;

namespace siotool {
namespace {

sio::Error Fail(const std::string& Field, const std::string& Reason) {
  return sio::Fail(Field + ": " + Reason);
}

std::string TypeName(const Json& Value) {
  if (Value.is_number_float())
    return "a fraction or a number too large";
  if (Value.is_number_integer() && !Value.is_number_unsigned())
    return "a negative number";
  if (Value.is_array() || Value.is_object())
    return std::string("an ") + Value.type_name();
  return std::string("a ") + Value.type_name();
}

} // namespace

std::string Escaped(std::string_view Text) {
  std::string Dumped = Json(std::string(Text)).dump(-1, ' ', false, Json::error_handler_t::replace);
  return Dumped.substr(1, Dumped.size() - 2);
}

std::string Quoted(std::string_view Text) {
  return "\"" + Escaped(Text) + "\"";
}

std::string FieldPath(const std::string& Parent, std::string_view Key) {
  return Parent.empty() ? Escaped(Key) : Parent + "." + Escaped(Key);
}

std::string ItemPath(const std::string& Parent, size_t Index) {
  return Parent + "[" + std::to_string(Index) + "]";
}

sio::Result<void> RequireObject(const Json& Value, const std::string& Field,
                                std::initializer_list<std::string_view> Allowed) {
  if (!Value.is_object())
    return Fail(Field.empty() ? "document" : Field, "expected an object, got " + TypeName(Value));
  for (const auto& [Key, Item] : Value.items()) {
    bool Known = false;
    for (auto Name : Allowed)
      Known = Known || Name == Key;
    if (Known)
      continue;
    std::string List;
    for (auto Name : Allowed)
      List += (List.empty() ? "" : ", ") + std::string(Name);
    return Fail(FieldPath(Field, Key), "unknown key (allowed: " + List + ")");
  }
  return {};
}

sio::Result<uint64_t> ParseUnsigned(std::string_view Text, const std::string& Field, uint64_t Max) {
  const auto Value = sio::ParseNumber(Text);
  if (!Value) {
    // A string of digits too long for 64 bits is a number out of range.
    const std::string_view Digits =
        Text.starts_with("0x") || Text.starts_with("0X") ? Text.substr(2) : Text;
    const bool IsHex = Digits.size() < Text.size();
    const bool AllDigits =
        !Digits.empty() &&
        Digits.find_first_not_of(IsHex ? "0123456789abcdefABCDEF" : "0123456789") == Digits.npos;
    if (!AllDigits) {
      return Fail(Field, Quoted(Text) + " is not a number (" + sio::kNumberRule + ", from 0 to " +
                             Hex(Max, 2) + ")");
    }
  }
  if (!Value || *Value > Max) {
    return Fail(Field, Escaped(Text) + " is out of range (at most " + Hex(Max, 2) + ")");
  }
  return *Value;
}

sio::Result<uint64_t> ReadUnsigned(const Json& Value, const std::string& Field, uint64_t Max) {
  if (Value.is_string())
    return ParseUnsigned(Value.get<std::string>(), Field, Max);
  if (!Value.is_number_unsigned()) {
    return Fail(Field, "expected a number from 0 to " + Hex(Max, 2) + ", got " + TypeName(Value));
  }
  uint64_t Number = Value.get<uint64_t>();
  if (Number > Max) {
    return Fail(Field, Hex(Number, 2) + " is out of range (at most " + Hex(Max, 2) + ")");
  }
  return Number;
}

sio::Result<bool> ReadBool(const Json& Value, const std::string& Field) {
  if (!Value.is_boolean())
    return Fail(Field, "expected true or false, got " + TypeName(Value));
  return Value.get<bool>();
}

sio::Result<std::vector<uint8_t>> ReadBytes(const Json& Value, const std::string& Field,
                                            size_t MaxCount) {
  std::vector<uint8_t> Bytes;
  if (Value.is_array()) {
    for (size_t I = 0; I < Value.size(); ++I) {
      auto Byte = ReadByte(Value[I], ItemPath(Field, I));
      if (!Byte)
        return Byte.Failure();
      Bytes.push_back(*Byte);
    }
  } else if (Value.is_string()) {
    auto Text = Value.get<std::string>();
    size_t Pos = 0;
    while (Pos < Text.size()) {
      if (Text[Pos] == ':' || Text[Pos] == ' ') {
        ++Pos;
        continue;
      }
      size_t End = Text.find_first_of(": ", Pos);
      std::string Pair = Text.substr(Pos, End == std::string::npos ? std::string::npos : End - Pos);
      if (Pair.size() > 2 ||
          Pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return Fail(
            Field, Quoted(Pair) +
                       " is not a hex byte (two hex digits a byte, bytes separated by ':' or ' ')");
      }
      Bytes.push_back(static_cast<uint8_t>(std::stoul(Pair, nullptr, 16)));
      Pos += Pair.size();
    }
  } else {
    return Fail(Field, "expected an array of bytes or a string such as \"5A:00:00:00\", got " +
                           TypeName(Value));
  }
  if (Bytes.size() > MaxCount) {
    return Fail(Field, std::to_string(Bytes.size()) + " bytes is too many (at most " +
                           std::to_string(MaxCount) + ")");
  }
  return Bytes;
}

sio::Result<std::vector<uint8_t>> ReadExactBytes(const Json& Value, const std::string& Field,
                                                 size_t Count, const std::string& Example) {
  auto Bytes = ReadBytes(Value, Field, Count);
  if (Bytes && Bytes->size() != Count) {
    return Fail(Field, "give exactly " + std::to_string(Count) + " bytes, not " +
                           std::to_string(Bytes->size()) + " (" + Example + ")");
  }
  return Bytes;
}

} // namespace siotool
