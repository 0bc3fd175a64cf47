// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable codec: entries land at the offsets the settings stage
// reads, survive a round trip, and acted-on entries are exactly those the
// stage would program logical device 8 from.
#include <gtest/gtest.h>

#include "board/Scenario.h"
#include "chip/SetupVariable.h"

namespace {

using siotool::SetupEntry;

// The value a reader gave back; a test failure (and T's default) when it
// refused.
template <typename T> T Read(sio::Result<T> Got) {
  EXPECT_TRUE(Got) << (Got ? "" : Got.Message());
  return Got ? std::move(*Got) : T{};
}

SetupEntry Ld8(uint8_t Param0, uint8_t Param2, uint8_t Enabled = 1, uint8_t Qualifier = 0) {
  SetupEntry E;
  E.ChipIdHigh = 0x02;
  E.ChipIdLow = 0x16;
  E.Kind = 0x12;
  E.Qualifier = Qualifier;
  E.Enabled = Enabled;
  E.Param = {Param0, 0, Param2, 0};
  return E;
}

TEST(SetupVariable, EncodesTheBoardsLayoutAndDecodesItBack) {
  siotool::SetupContent Content;
  Content.Entries[2] = Ld8(0x5A, 0x00);
  Content.Entries[4] = {0x01, 0x02, 0x03, 0x7F, 0x04, 0x05, 0x164E, {0xA0, 0xA1, 0xA2, 0xA3}};
  Content.Trailer = {1, 2, 3, 4, 5, 6, 7};
  auto Data = siotool::EncodeSetupVariable(Content);
  ASSERT_EQ(Data.size(), 67u);

  // The board's own helper lays out the same default entry.
  auto Reference = board::EmptySetupData();
  board::SetLd8Entry(Reference, 2, 0x5A, 0x00);
  EXPECT_TRUE(std::equal(Data.begin() + 24, Data.begin() + 36, Reference.begin() + 24));

  const uint8_t Entry4[] = {0x01, 0x02, 0x03, 0x7F, 0x04, 0x05, 0x4E, 0x16, 0xA0, 0xA1, 0xA2, 0xA3};
  EXPECT_TRUE(std::equal(std::begin(Entry4), std::end(Entry4), Data.begin() + 48))
      << "IoBase is little-endian";
  EXPECT_EQ(Data[66], 7);

  auto Decoded = siotool::DecodeSetupVariable(Data);
  ASSERT_EQ(Decoded.size(), 5u);
  for (size_t I = 0; I < 5; ++I) {
    EXPECT_EQ(Decoded[I].Entry, Content.Entries[I]) << I;
    EXPECT_EQ(Decoded[I].BytesPresent, 12u);
    EXPECT_EQ(Decoded[I].ActedOn, I == 2) << I;
  }
}

TEST(SetupVariable, ActedOnOnlyForEnabledKind12Qualifier0EntriesInsideTheData) {
  struct Case {
    const char* Name;
    SetupEntry Entry;
    size_t Size;
    bool ActedOn;
  };
  // Entry 1 is the one under test: its bytes run from 12 to 23, the stage reads up to 22.
  const Case Cases[] = {
      {"whole variable", Ld8(1, 0), 67, true},
      {"ends right after Param[2]", Ld8(1, 0), 23, true},
      {"cuts Param[2] off", Ld8(1, 0), 22, false},
      {"empty variable", Ld8(1, 0), 0, false},
      {"disabled", Ld8(1, 0, 0), 67, false},
      {"enabled 2", Ld8(1, 0, 2), 67, false},
      {"qualifier 1", Ld8(1, 0, 1, 1), 67, false},
      {"one byte more than the buffer: refused", Ld8(1, 0), 68, false},
  };
  for (const auto& C : Cases) {
    siotool::SetupContent Content;
    Content.Entries[1] = C.Entry;
    auto Data = siotool::EncodeSetupVariable(Content);
    Data.resize(C.Size, 0);
    EXPECT_EQ(siotool::SettingsStageActsOn(Data, 1), C.ActedOn) << C.Name;
    if (C.Size <= 67) {
      EXPECT_EQ(siotool::DecodeSetupVariable(Data)[1].ActedOn, C.ActedOn) << C.Name;
    }
  }
  SetupEntry OtherKind = Ld8(1, 0);
  OtherKind.Kind = 0x13;
  siotool::SetupContent Content;
  Content.Entries[4] = OtherKind;
  EXPECT_FALSE(siotool::SettingsStageActsOn(siotool::EncodeSetupVariable(Content), 4));
}

TEST(SetupVariable, ShortDataDecodesWhatIsThere) {
  std::vector<uint8_t> Data(30, 0xEE);
  auto Decoded = siotool::DecodeSetupVariable(Data);
  EXPECT_EQ(Decoded[1].BytesPresent, 12u);
  EXPECT_EQ(Decoded[2].BytesPresent, 6u);
  EXPECT_EQ(Decoded[2].Entry.Enabled, 0xEE);
  EXPECT_EQ(Decoded[2].Entry.IoBase, 0) << "bytes beyond the data read as 0";
  EXPECT_EQ(Decoded[3].BytesPresent, 0u);
}

TEST(SetupVariable, ReadableEntryText) {
  auto E = Read(siotool::ParseSetupEntryText(
      "kind=0x12,qualifier=0,enabled=1,iobase=0x3F8,param=5A:00:01:00,chip_id_high=2", "--entry"));
  EXPECT_EQ(E.Kind, 0x12);
  EXPECT_EQ(E.Enabled, 1);
  EXPECT_EQ(E.IoBase, 0x3F8);
  EXPECT_EQ(E.ChipIdHigh, 2);
  EXPECT_EQ(E.Param, (std::array<uint8_t, 4>{0x5A, 0x00, 0x01, 0x00}));
  EXPECT_EQ(Read(siotool::ParseSetupEntryText("empty", "--entry")), SetupEntry{});

  const std::pair<const char*, const char*> Bad[] = {
      {"kind", "--entry: \"kind\" is not key=value"},
      {"kind=0x12,", "--entry: \"\" is not key=value"},
      {"kind=1,kind=2", "--entry.kind: given twice"},
      {"iobase=0x10000", "--entry.iobase: 0x10000 is out of range (at most 0xFFFF)"},
      {"param=5A:0G", "--entry.param: \"0G\" is not a hex byte"},
      {"enabled=yes", "--entry.enabled: \"yes\" is not a number"},
      {"param=5A:01", "--entry.param: give exactly 4 bytes, not 2"},
      {"param=5A", "--entry.param: give exactly 4 bytes, not 1"},
      {"param=", "--entry.param: give exactly 4 bytes, not 0"},
  };
  for (const auto& [Text, Message] : Bad) {
    auto Got = siotool::ParseSetupEntryText(Text, "--entry");
    ASSERT_FALSE(Got) << Text << " was accepted";
    EXPECT_EQ(Got.Message().rfind(Message, 0), 0u) << Got.Message();
  }
}

TEST(SetupVariable, VariableObjectSizesAndRawBytes) {
  using siotool::Json;
  auto Short = Read(siotool::ParseSetupVariable(
      Json::parse(R"({"entries": [null, {"kind": 18, "enabled": 1}], "size": 23})"), "v", 1024));
  ASSERT_EQ(Short.size(), 23u);
  EXPECT_TRUE(siotool::SettingsStageActsOn(Short, 1));
  auto Long = Read(siotool::ParseSetupVariable(Json::parse(R"({"size": 100})"), "v", 1024));
  EXPECT_EQ(Long, std::vector<uint8_t>(100, 0));
  auto Raw = Read(siotool::ParseSetupVariable(Json::parse(R"({"bytes": "01 02:ff"})"), "v", 1024));
  EXPECT_EQ(Raw, (std::vector<uint8_t>{1, 2, 0xFF}));
  EXPECT_FALSE(siotool::ParseSetupVariable(Json::parse(R"({"size": 68})"), "v", 67));
}

// Param and the trailer are fixed-size: fewer bytes are refused, not padded.
TEST(SetupVariable, ParamAndTrailerTakeExactlyTheirBytes) {
  using siotool::Json;
  const std::pair<const char*, const char*> Bad[] = {
      {R"({"trailer": "01:02"})", "v.trailer: give exactly 7 bytes, not 2"},
      {R"({"trailer": []})", "v.trailer: give exactly 7 bytes, not 0"},
      {R"({"trailer": "01:02:03:04:05:06:07:08"})", "v.trailer: 8 bytes is too many"},
      {R"({"entries": [{"param": [1, 2, 3]}]})", "v.entries[0].param: give exactly 4 bytes, not 3"},
  };
  for (const auto& [Text, Message] : Bad) {
    auto Got = siotool::ParseSetupVariable(Json::parse(Text), "v", 67);
    ASSERT_FALSE(Got) << Text << " was accepted";
    EXPECT_EQ(Got.Message().rfind(Message, 0), 0u) << Got.Message();
  }
  auto Data = Read(
      siotool::ParseSetupVariable(Json::parse(R"({"trailer": "01:02:03:04:05:06:07"})"), "v", 67));
  EXPECT_EQ(std::vector<uint8_t>(Data.end() - 7, Data.end()),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
}

// A byte a short variable does not hold is shown as absent, never as 00.
TEST(SetupVariable, TableMarksBytesTheDataLacks) {
  std::vector<uint8_t> Data(30, 0xEE); // entry 2 holds its first 6 bytes
  auto Lines = siotool::FormatSetupTable(Data);
  ASSERT_GE(Lines.size(), 6u);
  const std::string& Partial = Lines[3];
  EXPECT_NE(Partial.find("EE:EE   0xEE 0xEE 0xEE      0xEE    ----   --:--:--:--  6/12"),
            std::string::npos)
      << Partial;
  EXPECT_EQ(Partial.find("00"), std::string::npos) << Partial;
  const std::string& Missing = Lines[4];
  EXPECT_NE(Missing.find("--:--   ---- ---- ----      ----    ----   --:--:--:--  0/12"),
            std::string::npos)
      << Missing;
  EXPECT_NE(Lines[2].find("EE:EE   0xEE 0xEE 0xEE      0xEE    EEEE   EE:EE:EE:EE 12/12"),
            std::string::npos)
      << Lines[2];
}

} // namespace
