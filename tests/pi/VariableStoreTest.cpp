// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/VariableStore.h"
#include "common/BuildPaths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "pi/LittleEndian.h"
#include "pi/VariableStoreRecords.h"

namespace pi {
namespace {

constexpr Guid kOurGuid = GuidFromText("CD2E75EC-4162-411D-B7F1-E1D882E697AB");
const std::u16string kOurName = u"SioF81216aSetup00";

std::vector<uint8_t> ReadFile(const char* Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

// A formatted, empty store of Size bytes.
std::vector<uint8_t> BareStore(const Guid& Signature, size_t Size) {
  std::vector<uint8_t> Bytes(Size, 0xFF);
  VariableStoreHeader Header{};
  Header.Signature = Signature;
  Header.Size = static_cast<uint32_t>(Size);
  Header.Format = kVariableStoreFormatted;
  Header.State = kVariableStoreHealthy;
  WriteRecord(Bytes, 0, Header);
  return Bytes;
}

// Sets the checksum of the volume header at 0 so its 16-bit words sum to 0.
void SealVolumeHeader(std::vector<uint8_t>& Bytes) {
  FvHeader Header;
  ReadRecord(Bytes, 0, Header);
  Header.Checksum = 0;
  WriteRecord(Bytes, 0, Header);
  uint16_t Sum = 0;
  for (size_t I = 0; I < Header.HeaderLength; I += 2)
    Sum = static_cast<uint16_t>(Sum + (Bytes[I] | Bytes[I + 1] << 8));
  Header.Checksum = static_cast<uint16_t>(0x10000 - Sum);
  WriteRecord(Bytes, 0, Header);
}

// Store inside an NV data volume with one block run and a correct checksum.
std::vector<uint8_t> InVolume(const std::vector<uint8_t>& Store) {
  std::vector<uint8_t> Bytes(kFvMinHeaderLength + Store.size(), 0);
  std::copy(Store.begin(), Store.end(), Bytes.begin() + kFvMinHeaderLength);
  FvHeader Header{};
  Header.FileSystemGuid = kSystemNvDataFvGuid;
  Header.FvLength = Bytes.size();
  Header.Signature = kFvSignature;
  Header.Attributes = 0x0004FEFF;
  Header.HeaderLength = kFvMinHeaderLength;
  Header.Revision = 2;
  WriteRecord(Bytes, 0, Header);
  FvBlockMapEntry Run{};
  Run.NumBlocks = 1;
  Run.Length = static_cast<uint32_t>(Bytes.size());
  WriteRecord(Bytes, sizeof Header, Run);
  SealVolumeHeader(Bytes);
  return Bytes;
}

std::vector<uint8_t> Content(size_t Size, uint8_t Seed) {
  std::vector<uint8_t> Data(Size);
  for (size_t I = 0; I < Size; ++I)
    Data[I] = static_cast<uint8_t>(Seed + I);
  return Data;
}

NewVariable Ours(std::span<const uint8_t> Data, uint32_t Attributes = 0x3) {
  return {kOurName, kOurGuid, Attributes, Data};
}

VariableStore Reopen(const std::vector<uint8_t>& Bytes) {
  auto Store = VariableStore::Open(Bytes);
  EXPECT_TRUE(Store.Ok()) << (Store.Ok() ? "" : Store.Message());
  return std::move(Store).Value();
}

TEST(VariableStore, OvmfFileIsAnEmptyAuthenticatedStoreInItsVolume) {
  auto Bytes = ReadFile(sio::build::kOvmfVars);
  ASSERT_FALSE(Bytes.empty());
  auto Store = Reopen(Bytes);
  EXPECT_EQ(Store.Format(), VariableStoreFormat::Authenticated);
  EXPECT_EQ(Store.VolumeOffset(), 0u);
  EXPECT_EQ(Store.StoreOffset(), 0x48u);
  EXPECT_EQ(Store.RecordHeaderSize(), 60u);
  EXPECT_EQ(Store.FreeOffset(), 0x48u + 28);
  EXPECT_EQ(Store.StoreOffset() + Store.StoreSize(), 0x40000u);
}

// Add, then replace twice, in both formats and in a volume, a bare store and
// a flash image: one valid copy each time, earlier copies deleted by ANDing
// 0xFD into their state, nothing else in the file changed.
TEST(VariableStore, AddAndReplaceTwiceLeavesOneValidCopy) {
  auto Ovmf = ReadFile(sio::build::kOvmfVars);
  std::vector<uint8_t> Flash(0x10000, 0xFF); // something ahead of the volume
  Flash.insert(Flash.end(), Ovmf.begin(), Ovmf.end());
  auto Code = ReadFile(sio::build::kOvmfCode);
  Flash.insert(Flash.end(), Code.begin(), Code.end());
  struct Case {
    const char* Label;
    std::vector<uint8_t> Bytes;
    size_t HeaderSize;
  } Cases[] = {
      {"OVMF volume", Ovmf, 60},
      {"flash image", Flash, 60},
      {"plain bare store", BareStore(kVariableStoreGuid, 0x1000), 32},
      {"plain store in a volume", InVolume(BareStore(kVariableStoreGuid, 0x1000)), 32},
      {"authenticated bare store", BareStore(kAuthenticatedVariableStoreGuid, 0x1000), 60},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    auto Bytes = C.Bytes;
    const auto First = Content(67, 0x10), Second = Content(5, 0x80), Third = Content(300, 0x40);
    size_t Records = 0;
    for (const auto* Data : {&First, &Second, &Third}) {
      auto Before = Reopen(Bytes);
      EXPECT_EQ(Before.RecordHeaderSize(), C.HeaderSize);
      auto Written = Before.WithVariable(Ours(*Data, Data == &Second ? 0x7 : 0x3));
      ASSERT_TRUE(Written.Ok()) << Written.Message();
      auto After = Reopen(*Written);
      ASSERT_EQ(After.Records().size(), ++Records);
      const auto& New = After.Records().back();
      EXPECT_EQ(New.Offset, Before.FreeOffset());
      EXPECT_EQ(New.Offset % 4, 0u);
      EXPECT_EQ(New.StateByte, 0x3F);
      EXPECT_EQ(New.Attributes, Data == &Second ? 0x7u : 0x3u);
      EXPECT_EQ(New.Data, *Data);
      ASSERT_EQ(After.FindValid(kOurName, kOurGuid), &New);
      size_t Valid = 0;
      for (const auto& R : After.Records()) {
        Valid += R.Valid();
        if (&R != &New) {
          EXPECT_EQ(R.StateByte, 0x3D);
        }
      }
      EXPECT_EQ(Valid, 1u);
      // Only the new record and the old one's state byte differ.
      size_t Changed = 0;
      for (size_t I = 0; I < Bytes.size(); ++I)
        Changed += (*Written)[I] != Bytes[I] && (I < New.Offset || I >= After.FreeOffset());
      EXPECT_EQ(Changed, Records > 1 ? 1u : 0u); // the one earlier valid copy's state
      EXPECT_EQ(After.FreeOffset(), AlignUp(New.Offset + C.HeaderSize + 36 + Data->size(), 4));
      Bytes = std::move(*Written);
    }
  }
}

TEST(VariableStore, RecordNextToOthersKeepsTheirsAndFindsTheAddedCopy) {
  auto Bytes = BareStore(kVariableStoreGuid, 0x400);
  const auto Data = Content(10, 1);
  auto Other = Reopen(Bytes).WithVariable({u"Other", kOurGuid, 0x7, Data});
  ASSERT_TRUE(Other.Ok());
  // A copy of ours left "in deleted transition" by an interrupted update is
  // still valid; the replace deletes it too.
  auto Ours1 = Reopen(*Other).WithVariable(Ours(Data));
  ASSERT_TRUE(Ours1.Ok());
  auto Interrupted = *Ours1;
  Interrupted[Reopen(*Ours1).Records()[1].Offset + 2] &= kVarInDeletedTransition;
  auto Store = Reopen(Interrupted);
  ASSERT_NE(Store.FindValid(kOurName, kOurGuid), nullptr);
  EXPECT_EQ(Store.FindValid(kOurName, kOurGuid)->State, VariableRecordState::InDeletedTransition);
  auto Replaced = Store.WithVariable(Ours(Content(3, 9)));
  ASSERT_TRUE(Replaced.Ok());
  auto After = Reopen(*Replaced);
  ASSERT_EQ(After.Records().size(), 3u);
  EXPECT_EQ(After.Records()[0].Name, u"Other");
  EXPECT_EQ(After.Records()[0].StateByte, 0x3F);
  EXPECT_EQ(After.Records()[1].StateByte, 0x3C);
  EXPECT_EQ(After.FindValid(kOurName, kOurGuid), &After.Records()[2]);
  EXPECT_EQ(After.FindValid(u"Other", kOurGuid), &After.Records()[0]);
}

TEST(VariableStore, FullStoreSaysWhatIsNeededAndFree) {
  // 28-byte header, then exactly one 32 + 36 + 67 = 135-byte record fits in 164 bytes.
  const auto Data = Content(67, 0);
  auto Exact = Reopen(BareStore(kVariableStoreGuid, 28 + 135)).WithVariable(Ours(Data));
  ASSERT_TRUE(Exact.Ok()) << Exact.Message();
  EXPECT_EQ(Reopen(*Exact).FreeBytes(), 0u);
  auto Short = Reopen(BareStore(kVariableStoreGuid, 28 + 134)).WithVariable(Ours(Data));
  ASSERT_FALSE(Short.Ok());
  EXPECT_EQ(Short.Kind(), sio::ErrorKind::Refused);
  EXPECT_EQ(
      Short.Message(),
      "not enough free space in the variable store: the record needs 135 bytes, 134 are free");
  auto Again = Reopen(*Exact).WithVariable(Ours(Data)); // a replace needs room for the new copy
  ASSERT_FALSE(Again.Ok());
  EXPECT_EQ(Again.Kind(), sio::ErrorKind::Refused);
  EXPECT_NE(Again.Message().find("needs 135 bytes, 0 are free"), std::string::npos);
}

TEST(VariableStore, RefusesWhatAStoreWriteCannotCarry) {
  auto Store = Reopen(BareStore(kAuthenticatedVariableStoreGuid, 0x400));
  const auto Data = Content(4, 0);
  struct Case {
    uint32_t Attributes;
    const char* Message; // empty: accepted
  } Cases[] = {
      {0x3, ""},
      {0x7, ""},
      {0x1, "needs boot-service access"},
      {0x2, "needs the non-volatile bit"},
      {0x5, "needs boot-service access"},
      {0xF, "hardware error records"},
      {0x13, "authenticated variable needs a signed write"},
      {0x23, "authenticated variable needs a signed write"},
      {0x83, "authenticated variable needs a signed write"},
      {0x43, "append-write"},
      {0x103, "bits above 0x80"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Attributes);
    auto Written = Store.WithVariable(Ours(Data, C.Attributes));
    EXPECT_EQ(Written.Ok(), *C.Message == 0);
    if (!Written.Ok()) {
      EXPECT_NE(Written.Message().find(C.Message), std::string::npos) << Written.Message();
      // The firmware may hold such a variable; a store write cannot make it.
      const bool Signed = std::string_view(C.Message).starts_with("authenticated");
      EXPECT_EQ(Written.Kind(), Signed ? sio::ErrorKind::Refused : sio::ErrorKind::BadInput);
    }
  }
  EXPECT_NE(Store.WithVariable(Ours({})).Message().find("no content"), std::string::npos);
  for (const std::u16string& Name : {std::u16string(), std::u16string(u"a\0b", 3)}) {
    const auto Named = Store.WithVariable({Name, kOurGuid, 0x3, Data});
    ASSERT_FALSE(Named.Ok());
    EXPECT_EQ(Named.Kind(), sio::ErrorKind::BadInput);
  }
}

// Each damage, and the one-line error it must give.
TEST(VariableStore, DamagedStoresAreRefusedNamingTheProblem) {
  auto Volume = InVolume(BareStore(kAuthenticatedVariableStoreGuid, 0x400));
  auto WithRecord = Reopen(Volume).WithVariable(Ours(Content(67, 0)));
  ASSERT_TRUE(WithRecord.Ok());
  const size_t Store = kFvMinHeaderLength, Record = Store + 28;
  auto Set = [](size_t At, std::initializer_list<uint8_t> Given) {
    return [At, New = std::vector<uint8_t>(Given)](std::vector<uint8_t>& B) {
      std::copy(New.begin(), New.end(), B.begin() + static_cast<ptrdiff_t>(At));
    };
  };
  // A change to the volume header with its checksum made right again.
  auto Reseal = [](size_t At, uint8_t Value) {
    return [At, Value](std::vector<uint8_t>& B) {
      B[At] = Value;
      SealVolumeHeader(B);
    };
  };
  struct Case {
    const char* Label;
    std::function<void(std::vector<uint8_t>&)> Damage;
    const char* Message;
  } Cases[] = {
      {"not a store", [](auto& B) { B.assign(4096, 0x20); }, "not a variable store"},
      {"empty file", [](auto& B) { B.clear(); }, "not a variable store"},
      {"volume checksum", Set(0x40, {0x12}), "volume at 0x0: volume header: checksum"},
      {"volume signature", Set(0x28, {'_', 'F', 'V', 'X'}), "signature 0x5856465F is not \"_FVH\""},
      {"volume longer than the file", Set(0x22, {0x01}), "runs past the end of the file"},
      {"volume header length", Set(0x30, {0x08}), "header length 0x8 does not fit"},
      {"volume revision", Reseal(0x37, 1), "revision 1 is not 2"},
      {"block map without its end", Reseal(0x40, 1), "block map has no {0, 0} end"},
      {"block map short of the volume", Reseal(0x3C, 0),
       "block map covers 0x400 bytes, not the volume's 0x448"},
      {"truncated volume header", [](auto& B) { B.resize(0x30); },
       "shorter than its 56 fixed bytes"},
      {"store signature", Set(Store, {0x00}), "is not a variable store's"},
      {"store not healthy", Set(Store + 21, {0xFF}),
       "not formatted and healthy (format 0x5A, state 0xFF"},
      {"store size beyond the volume", Set(Store + 17, {0x10}),
       "size 0x1000 does not fit the 0x400 bytes the volume holds"},
      {"store size below its header", Set(Store + 16, {0x04, 0x00}), "size 0x4 does not fit"},
      {"record runs past the store", Set(Record + 40, {0x00, 0x10}),
       "record at 0x64: runs past the end of the store"},
      {"record name size past the store", Set(Record + 36, {0xFF, 0xFF, 0xFF, 0xFF}),
       "runs past the end of the store"},
      {"half-written record", Set(Record + 2, {0x7F}), "record at 0x64: half-written (state 0x7F)"},
      {"record header being written", Set(Record + 2, {0xFF}), "half-written (state 0xFF)"},
      {"odd name size", Set(Record + 36, {0x23}), "name size 35 is not a UTF-16 name"},
      {"free space not erased", Set(0x300, {0x00}), "byte 0x0 at 0x300 after the last record"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    auto Bytes = *WithRecord;
    C.Damage(Bytes);
    auto Opened = VariableStore::Open(Bytes);
    ASSERT_FALSE(Opened.Ok());
    EXPECT_EQ(Opened.Kind(), sio::ErrorKind::BadInput);
    EXPECT_NE(Opened.Message().find(C.Message), std::string::npos) << Opened.Message();
    EXPECT_EQ(Opened.Message().find('\n'), std::string::npos);
  }
  // A bare store longer than its file.
  auto Bare = BareStore(kVariableStoreGuid, 0x100);
  Bare.resize(0x80);
  EXPECT_NE(VariableStore::Open(Bare).Message().find(
                "size 0x100 does not fit the 0x80 bytes of the file"),
            std::string::npos);
}

// A record of Name (raw UTF-16 units, NUL or not, as NameSize covers them).
std::vector<uint8_t> WithRawRecord(std::vector<uint8_t> Bytes, const std::u16string& RawName,
                                   uint8_t State, std::span<const uint8_t> Data) {
  auto Store = Reopen(Bytes);
  size_t At = Store.FreeOffset();
  VariableHeader Header{};
  Header.StartId = kVariableStartId;
  Header.State = State;
  Header.Attributes = 0x3;
  Header.NameSize = static_cast<uint32_t>(2 * RawName.size());
  Header.DataSize = static_cast<uint32_t>(Data.size());
  Header.VendorGuid = kOurGuid;
  WriteRecord(Bytes, At, Header);
  At += sizeof Header;
  for (char16_t C : RawName) {
    Bytes[At++] = static_cast<uint8_t>(C);
    Bytes[At++] = static_cast<uint8_t>(C >> 8);
  }
  std::copy(Data.begin(), Data.end(), Bytes.begin() + static_cast<ptrdiff_t>(At));
  return Bytes;
}

// The copy the firmware reads among several valid ones: the first added one,
// else the last one in deleted transition; and a record is ours only when all
// its NameSize bytes are our name with its NUL.
TEST(VariableStore, FindsTheCopyTheFirmwareReads) {
  const auto A = Content(4, 0xA0), B = Content(4, 0xB0), C = Content(4, 0xC0);
  const std::u16string Named = kOurName + u'\0';
  constexpr uint8_t kInTransition = kVarAdded & kVarInDeletedTransition;
  struct Case {
    const char* Label;
    std::vector<std::pair<std::u16string, uint8_t>> Records; // name, state; data A, B, C in order
    int Read;                                                // index of the copy read, -1: none
    size_t Valid;
  } Cases[] = {
      {"two added", {{Named, kVarAdded}, {Named, kVarAdded}}, 0, 2},
      {"in transition, then added", {{Named, kInTransition}, {Named, kVarAdded}}, 1, 2},
      {"two in transition", {{Named, kInTransition}, {Named, kInTransition}}, 1, 2},
      {"added, deleted, in transition",
       {{Named, kVarAdded}, {Named, 0x3C}, {Named, kInTransition}},
       0,
       2},
      {"name runs on past its NUL", {{Named + u"XY" + u'\0', kVarAdded}}, -1, 0},
      {"name without its NUL", {{kOurName, kVarAdded}}, -1, 0},
      {"longer name first, then ours",
       {{Named + u"Z" + u'\0', kVarAdded}, {Named, kVarAdded}},
       1,
       1},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Label);
    auto Bytes = BareStore(kVariableStoreGuid, 0x400);
    const std::vector<uint8_t>* Datas[] = {&A, &B, &C};
    for (size_t I = 0; I < Case.Records.size(); ++I)
      Bytes = WithRawRecord(Bytes, Case.Records[I].first, Case.Records[I].second, *Datas[I]);
    auto Store = Reopen(Bytes);
    const auto* Found = Store.FindValid(kOurName, kOurGuid);
    EXPECT_EQ(Store.ValidCopies(kOurName, kOurGuid), Case.Valid);
    if (Case.Read < 0) {
      EXPECT_EQ(Found, nullptr);
    } else {
      ASSERT_NE(Found, nullptr);
      EXPECT_EQ(Found, &Store.Records()[static_cast<size_t>(Case.Read)]);
    }
    // A replace deletes every copy that is ours and no other record.
    auto Replaced = Store.WithVariable(Ours(Content(3, 1)));
    ASSERT_TRUE(Replaced.Ok()) << Replaced.Message();
    auto After = Reopen(*Replaced);
    EXPECT_EQ(After.ValidCopies(kOurName, kOurGuid), 1u);
    for (size_t I = 0; I < Case.Records.size(); ++I) {
      const bool Deleted = After.Records()[I].State == VariableRecordState::Deleted;
      EXPECT_EQ(Deleted, Store.Records()[I].Is(kOurName, kOurGuid) ||
                             Store.Records()[I].State == VariableRecordState::Deleted);
    }
  }
}

// An image with the NV data volume at two places: refused, naming both; the
// chosen one is written, the other left as it was. A copy inside a volume
// (its spare area) is no candidate.
TEST(VariableStore, MoreThanOneVolumeIsRefusedUnlessOneIsChosen) {
  auto Ovmf = ReadFile(sio::build::kOvmfVars);
  std::vector<uint8_t> Image(0x1000, 0xFF);
  Image.insert(Image.end(), Ovmf.begin(), Ovmf.end());
  Image.insert(Image.end(), Ovmf.begin(), Ovmf.end()); // at 0x85000
  auto Both = VariableStore::Open(Image);
  ASSERT_FALSE(Both.Ok());
  EXPECT_EQ(Both.Kind(), sio::ErrorKind::Refused);
  EXPECT_EQ(
      Both.Message(),
      "2 volumes may hold the variable store, at 0x1000 and 0x85000; choose one by its offset");
  EXPECT_NE(VariableStore::Open(Image, 0x2000).Message().find("no variable store volume at 0x2000"),
            std::string::npos);
  auto Chosen = VariableStore::Open(Image, 0x85000);
  ASSERT_TRUE(Chosen.Ok()) << Chosen.Message();
  EXPECT_EQ(Chosen->StoreOffset(), 0x85048u);
  auto Written = Chosen->WithVariable(Ours(Content(67, 0)));
  ASSERT_TRUE(Written.Ok());
  EXPECT_TRUE(std::equal(Image.begin(), Image.begin() + 0x85000, Written->begin()));
  EXPECT_EQ(VariableStore::Open(*Written, 0x85000)->ValidCopies(kOurName, kOurGuid), 1u);

  // The volume's copy in its own spare area is part of it.
  auto WithSpareCopy = Ovmf;
  std::copy(Ovmf.begin(), Ovmf.begin() + 0x40000, WithSpareCopy.begin() + 0x42000);
  std::vector<uint8_t> Flash(0x1000, 0xFF);
  Flash.insert(Flash.end(), WithSpareCopy.begin(), WithSpareCopy.end());
  auto One = VariableStore::Open(Flash);
  ASSERT_TRUE(One.Ok()) << One.Message();
  EXPECT_EQ(One->VolumeOffset(), 0x1000u);
}

// OVMF's layout: the store ends where the fault-tolerant-write working block
// begins (0x41000), and that block's queue must record no write left between
// its spare copy and its target.
TEST(VariableStore, StoreIsCheckedAgainstTheWorkingBlockAfterIt) {
  const auto Ovmf = ReadFile(sio::build::kOvmfVars);
  ASSERT_EQ(Reopen(Ovmf).WorkingBlockOffset(), 0x41000u);
  constexpr size_t kWorking = 0x41000, kQueue = kWorking + 32, kRecord = kQueue + 40;
  auto SetStoreSize = [](std::vector<uint8_t>& B, uint32_t Size) {
    B[0x48 + 16] = static_cast<uint8_t>(Size);
    B[0x48 + 17] = static_cast<uint8_t>(Size >> 8);
    B[0x48 + 18] = static_cast<uint8_t>(Size >> 16);
  };
  // One queued write: header state, then its one record's state.
  auto Queue = [](uint8_t HeaderState, uint8_t RecordState) {
    return [=](std::vector<uint8_t>& B) {
      B[kQueue] = HeaderState;
      std::fill(B.begin() + kQueue + 24, B.begin() + kQueue + 32, 0); // NumberOfWrites = 1
      B[kQueue + 24] = 1;
      std::fill(B.begin() + kQueue + 32, B.begin() + kQueue + 40, 0); // no private data
      B[kRecord] = RecordState;
    };
  };
  struct Case {
    const char* Label;
    std::function<void(std::vector<uint8_t>&)> Change;
    const char* Message; // empty: opens
  } Cases[] = {
      {"as shipped", [](auto&) {}, ""},
      {"store ending at the working block", [&](auto& B) { SetStoreSize(B, kWorking - 0x48); }, ""},
      {"store reaching into the working block",
       [&](auto& B) { SetStoreSize(B, kWorking - 0x48 + 4); },
       "size 0x40FBC reaches into the fault-tolerant-write working block at 0x41000 (the store "
       "may take 0x40FB8 bytes)"},
      {"working block damaged", [](auto& B) { B[kWorking + 16] ^= 1; }, "not valid (CRC"},
      {"write finished", Queue(0xF8, 0xF8), ""},
      {"write allocated, spare not yet copied", Queue(0xFC, 0xFF), ""},
      {"spare copied, target not rewritten", Queue(0xFC, 0xFD),
       "fault-tolerant-write working block at 0x41000: records an unfinished write (record at "
       "0x41048: spare copy made, target not rewritten)"},
      {"target rewritten, write not closed", Queue(0xFC, 0xF9), ""},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    auto Bytes = Ovmf;
    C.Change(Bytes);
    auto Opened = VariableStore::Open(Bytes);
    EXPECT_EQ(Opened.Ok(), *C.Message == 0) << (Opened.Ok() ? "" : Opened.Message());
    if (!Opened.Ok()) {
      EXPECT_NE(Opened.Message().find(C.Message), std::string::npos) << Opened.Message();
    }
  }
}

TEST(VariableStore, NamesAndAttributesAsText) {
  EXPECT_EQ(FormatVariableAttributes(0x7), "NV+BS+RT");
  EXPECT_EQ(FormatVariableAttributes(0x1027), "NV+BS+RT+AT+0x1000");
  EXPECT_EQ(VariableNameText(u"Boot\u00e9\n"), "Boot\\u00E9\\u000A");
  EXPECT_EQ(VariableNameFromAscii("Sio"), u"Sio");
  EXPECT_FALSE(VariableNameFromAscii("Bo\xC3\xA9").has_value());
  EXPECT_FALSE(VariableNameFromAscii("").has_value());
}

} // namespace
} // namespace pi
