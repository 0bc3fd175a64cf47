// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "chip/SetupVariable.h"

#include <algorithm>
#include <cstdio>

#include "common/Hex.h"

using sio::Hex;

namespace siotool {
namespace {

void PutEntry(uint8_t* Out, const SetupEntry& E) {
  Out[0] = E.ChipIdHigh;
  Out[1] = E.ChipIdLow;
  Out[2] = E.Aux;
  Out[3] = E.Kind;
  Out[4] = E.Qualifier;
  Out[5] = E.Enabled;
  Out[6] = static_cast<uint8_t>(E.IoBase);
  Out[7] = static_cast<uint8_t>(E.IoBase >> 8);
  std::copy(E.Param.begin(), E.Param.end(), Out + 8);
}

SetupEntry GetEntry(const uint8_t* In) {
  SetupEntry E;
  E.ChipIdHigh = In[0];
  E.ChipIdLow = In[1];
  E.Aux = In[2];
  E.Kind = In[3];
  E.Qualifier = In[4];
  E.Enabled = In[5];
  E.IoBase = static_cast<uint16_t>(In[6] | In[7] << 8);
  std::copy(In + 8, In + 12, E.Param.begin());
  return E;
}

} // namespace

std::vector<uint8_t> EncodeSetupVariable(const SetupContent& Content) {
  std::vector<uint8_t> Data(chip::kSetupDataSize, 0);
  for (size_t I = 0; I < chip::kSetupEntryCount; ++I)
    PutEntry(&Data[I * chip::kSetupEntrySize], Content.Entries[I]);
  std::copy(Content.Trailer.begin(), Content.Trailer.end(),
            Data.begin() + chip::kSetupEntryCount * chip::kSetupEntrySize);
  return Data;
}

std::vector<DecodedEntry> DecodeSetupVariable(std::span<const uint8_t> Data) {
  std::vector<DecodedEntry> Entries;
  for (size_t I = 0; I < chip::kSetupEntryCount; ++I) {
    uint8_t Bytes[chip::kSetupEntrySize] = {};
    size_t Start = I * chip::kSetupEntrySize;
    size_t Present = Data.size() > Start ? std::min(chip::kSetupEntrySize, Data.size() - Start) : 0;
    std::copy_n(Data.begin() + static_cast<ptrdiff_t>(std::min(Start, Data.size())), Present,
                Bytes);
    Entries.push_back({GetEntry(Bytes), Present, SettingsStageActsOn(Data, I)});
  }
  return Entries;
}

bool SettingsStageActsOn(std::span<const uint8_t> Data, size_t Index) {
  size_t Start = Index * chip::kSetupEntrySize;
  if (Data.size() > chip::kSetupDataSize || Index >= chip::kSetupEntryCount ||
      Data.size() < Start + chip::kEntryReach) {
    return false;
  }
  return Data[Start + 3] == chip::kKindLd8 && Data[Start + 4] == 0 && Data[Start + 5] == 1;
}

sio::Result<SetupEntry> ParseSetupEntry(const Json& Object, const std::string& Field) {
  SetupEntry E;
  if (Object.is_null())
    return E;
  if (auto Shape = RequireObject(Object, Field,
                                 {"chip_id_high", "chip_id_low", "aux", "kind", "qualifier",
                                  "enabled", "iobase", "param"});
      !Shape)
    return Shape.Failure();
  const std::pair<const char*, uint8_t*> Bytes[] = {{"chip_id_high", &E.ChipIdHigh},
                                                    {"chip_id_low", &E.ChipIdLow},
                                                    {"aux", &E.Aux},
                                                    {"kind", &E.Kind},
                                                    {"qualifier", &E.Qualifier},
                                                    {"enabled", &E.Enabled}};
  for (const auto& [Key, Out] : Bytes) {
    if (!Object.contains(Key))
      continue;
    auto Byte = ReadByte(Object[Key], FieldPath(Field, Key));
    if (!Byte)
      return Byte.Failure();
    *Out = *Byte;
  }
  if (Object.contains("iobase")) {
    auto IoBase = ReadWord(Object["iobase"], FieldPath(Field, "iobase"));
    if (!IoBase)
      return IoBase.Failure();
    E.IoBase = *IoBase;
  }
  if (Object.contains("param")) {
    auto Param = ReadExactBytes(Object["param"], FieldPath(Field, "param"), E.Param.size(),
                                "Param[0] to Param[3], e.g. 5A:00:00:00");
    if (!Param)
      return Param.Failure();
    std::copy(Param->begin(), Param->end(), E.Param.begin());
  }
  return E;
}

Json SetupEntryToJson(const SetupEntry& E) {
  return Json{{"chip_id_high", Hex(E.ChipIdHigh, 2)},
              {"chip_id_low", Hex(E.ChipIdLow, 2)},
              {"aux", Hex(E.Aux, 2)},
              {"kind", Hex(E.Kind, 2)},
              {"qualifier", Hex(E.Qualifier, 2)},
              {"enabled", Hex(E.Enabled, 2)},
              {"iobase", Hex(E.IoBase, 4)},
              {"param", Json::array({Hex(E.Param[0], 2), Hex(E.Param[1], 2), Hex(E.Param[2], 2),
                                     Hex(E.Param[3], 2)})}};
}

sio::Result<SetupEntry> ParseSetupEntryText(const std::string& Text, const std::string& Field) {
  Json Object = Json::object();
  if (Text == "empty")
    return SetupEntry{};
  size_t Pos = 0;
  while (Pos <= Text.size()) {
    size_t End = std::min(Text.find(',', Pos), Text.size());
    std::string Pair = Text.substr(Pos, End - Pos);
    size_t Equals = Pair.find('=');
    if (Equals == std::string::npos || Equals == 0) {
      return sio::Fail(Field + ": " + Quoted(Pair) + " is not key=value (e.g. kind=0x12)");
    }
    std::string Key = Pair.substr(0, Equals);
    if (Object.contains(Key))
      return sio::Fail(FieldPath(Field, Key) + ": given twice");
    Object[Key] = Pair.substr(Equals + 1);
    Pos = End + 1;
  }
  return ParseSetupEntry(Object, Field);
}

sio::Result<std::array<uint8_t, chip::kSetupTrailerSize>>
ReadSetupTrailer(const Json& Value, const std::string& Field) {
  auto Bytes = ReadExactBytes(Value, Field, chip::kSetupTrailerSize, "e.g. 00:00:00:00:00:00:01");
  if (!Bytes)
    return Bytes.Failure();
  std::array<uint8_t, chip::kSetupTrailerSize> Trailer{};
  std::copy(Bytes->begin(), Bytes->end(), Trailer.begin());
  return Trailer;
}

sio::Result<std::vector<uint8_t>> ParseSetupVariable(const Json& Object, const std::string& Field,
                                                     size_t MaxSize) {
  if (auto Shape = RequireObject(Object, Field, {"entries", "trailer", "size", "bytes"}); !Shape)
    return Shape.Failure();
  if (Object.contains("bytes")) {
    for (const char* Key : {"entries", "trailer", "size"}) {
      if (Object.contains(Key))
        return sio::Fail(FieldPath(Field, Key) + ": not allowed together with \"bytes\"");
    }
    return ReadBytes(Object["bytes"], FieldPath(Field, "bytes"), MaxSize);
  }
  SetupContent Content;
  if (Object.contains("entries")) {
    const Json& Entries = Object["entries"];
    std::string EntriesField = FieldPath(Field, "entries");
    if (!Entries.is_array())
      return sio::Fail(EntriesField + ": expected an array of entries");
    if (Entries.size() > chip::kSetupEntryCount) {
      return sio::Fail(EntriesField + ": " + std::to_string(Entries.size()) +
                       " entries is too many (the variable holds 5)");
    }
    for (size_t I = 0; I < Entries.size(); ++I) {
      auto Entry = ParseSetupEntry(Entries[I], ItemPath(EntriesField, I));
      if (!Entry)
        return Entry.Failure();
      Content.Entries[I] = *Entry;
    }
  }
  if (Object.contains("trailer")) {
    auto Trailer = ReadSetupTrailer(Object["trailer"], FieldPath(Field, "trailer"));
    if (!Trailer)
      return Trailer.Failure();
    Content.Trailer = *Trailer;
  }
  auto Data = EncodeSetupVariable(Content);
  if (Object.contains("size")) {
    auto Size = ReadUnsigned(Object["size"], FieldPath(Field, "size"), MaxSize);
    if (!Size)
      return Size.Failure();
    Data.resize(*Size, 0);
  }
  return Data;
}

Json SetupVariableToJson(std::span<const uint8_t> Data) {
  std::string Content;
  for (uint8_t B : Data) {
    char Pair[3];
    std::snprintf(Pair, sizeof Pair, "%02X", B);
    Content += Pair;
  }
  Json Entries = Json::array();
  for (const DecodedEntry& D : DecodeSetupVariable(Data)) {
    Json Entry = SetupEntryToJson(D.Entry);
    Entry["bytes_present"] = D.BytesPresent;
    Entry["acted_on"] = D.ActedOn;
    Entries.push_back(std::move(Entry));
  }
  Json Trailer = Json::array();
  for (size_t I = chip::kSetupEntryCount * chip::kSetupEntrySize;
       I < std::min(Data.size(), chip::kSetupDataSize); ++I)
    Trailer.push_back(Data[I]);
  return {{"size", Data.size()}, {"content", Content}, {"entries", Entries}, {"trailer", Trailer}};
}

std::vector<std::string> FormatSetupTable(std::span<const uint8_t> Data, std::string_view Label) {
  std::vector<std::string> Lines;
  char Line[256];
  std::snprintf(Line, sizeof Line, "%-5s %-7s %-4s %-4s %-9s %-7s %-6s %-11s %-7s %s", "entry",
                "chip-id", "aux", "kind", "qualifier", "enabled", "iobase", "param", "bytes",
                "settings stage");
  Lines.push_back(Line);
  auto Entries = DecodeSetupVariable(Data);
  for (size_t I = 0; I < Entries.size(); ++I) {
    const auto& [E, Present, ActedOn] = Entries[I];
    std::string Note;
    if (ActedOn) {
      Note = std::string(Label) + ": LD8 0xF1 = " + Hex(E.Param[0], 2) + ", 0xF0 &= " +
             Hex(E.Param[2] == 0   ? 0xFB
                 : E.Param[2] == 1 ? 0xFD
                                   : 0xF9,
                 2);
    } else if (Data.size() > chip::kSetupDataSize) {
      Note = "passed over (variable longer than 67 bytes is refused)";
    } else if (Present < chip::kEntryReach) {
      Note = "passed over (outside the data)";
    } else {
      Note = "passed over";
    }
    // A byte the data does not reach reads "--": the module never sees it,
    // so it is shown as absent rather than as a zero.
    const uint8_t* Raw = Data.data() + std::min(Data.size(), I * chip::kSetupEntrySize);
    size_t Held = Present;
    auto B = [Raw, Held](size_t Offset, const char* Prefix = "") {
      if (Offset >= Held)
        return std::string(Prefix[0] ? "----" : "--");
      char Text[8];
      std::snprintf(Text, sizeof Text, "%s%02X", Prefix, Raw[Offset]);
      return std::string(Text);
    };
    std::string ChipId = B(0) + ":" + B(1);
    std::string IoBase = B(7) + B(6);
    std::string Param = B(8) + ":" + B(9) + ":" + B(10) + ":" + B(11);
    std::snprintf(Line, sizeof Line, "%-5zu %-7s %-4s %-4s %-9s %-7s %-6s %-11s %2zu/12   %s", I,
                  ChipId.c_str(), B(2, "0x").c_str(), B(3, "0x").c_str(), B(4, "0x").c_str(),
                  B(5, "0x").c_str(), IoBase.c_str(), Param.c_str(), Present, Note.c_str());
    Lines.push_back(Line);
  }
  std::string Trailer = "trailer (not read by the module):";
  size_t TrailerStart = chip::kSetupEntryCount * chip::kSetupEntrySize;
  for (size_t I = TrailerStart; I < std::min(Data.size(), chip::kSetupDataSize); ++I) {
    std::snprintf(Line, sizeof Line, " %02X", Data[I]);
    Trailer += Line;
  }
  if (Data.size() <= TrailerStart)
    Trailer += " (absent)";
  Lines.push_back(Trailer);
  Lines.push_back("size: " + std::to_string(Data.size()) + " of 67 bytes");
  return Lines;
}

} // namespace siotool
