// SPDX-License-Identifier: BSD-2-Clause-Patent
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "pi/Checksum.h"
#include "pi/FfsFile.h"
#include "pi/FirmwareVolume.h"
#include "tests/pi/PiTestSupport.h"

namespace {

using namespace pi;
using namespace pitest;

std::vector<uint8_t> File(uint32_t BodyAlignment, size_t BodySize = 100) {
  FileRecipe Recipe;
  Recipe.Name = *pi::ParseGuid("F06C840E-DC65-4200-893D-CC1159179910");
  Recipe.Sections = {{section_type::kPeiDepex, {0x06, 0x08}, 4},
                     {section_type::kPe32, std::vector<uint8_t>(BodySize, 0x5A), BodyAlignment}};
  return BuildFfsFile(Recipe)->Bytes;
}

// Offsets of the file headers, found the way a reader walks the volume: from
// the end of the header, each file at the next 8-byte boundary, until the
// erase value.
std::vector<size_t> Walk(const std::vector<uint8_t>& V, uint8_t Erase) {
  std::vector<size_t> Offsets;
  size_t At = GetLe<uint16_t>(V, 0x30);
  while (At + kFileHeaderSize <= V.size()) {
    bool Erased = true;
    for (size_t I = 0; I < kFileHeaderSize; ++I)
      Erased = Erased && V[At + I] == Erase;
    if (Erased)
      break;
    Offsets.push_back(At);
    At = (At + (GetLe<uint32_t>(V, At + 0x14) & 0xFFFFFF) + 7) / 8 * 8;
  }
  return Offsets;
}

TEST(FirmwareVolume, HeaderDescribesAnFfs2VolumeAndSumsToZero) {
  const auto V = BuildFirmwareVolume({File(32)})->Bytes;
  for (size_t I = 0; I < 16; ++I)
    EXPECT_EQ(V[I], 0);
  EXPECT_TRUE(std::equal(kFfs2FileSystemGuid.begin(), kFfs2FileSystemGuid.end(), V.begin() + 0x10));
  EXPECT_EQ(V[0x10], 0x78); // FFS2 GUID in memory order
  EXPECT_EQ(GetLe<uint64_t>(V, 0x20), V.size());
  EXPECT_EQ(V.size() % 0x1000, 0u);
  EXPECT_EQ(GetLe<uint32_t>(V, 0x28), 0x4856465Fu);
  const uint32_t Attributes = GetLe<uint32_t>(V, 0x2C);
  EXPECT_EQ(Attributes & kFvbErasePolarity, kFvbErasePolarity);
  EXPECT_EQ((Attributes >> 16) & 0x1F, 7u); // 128, the file's data alignment
  EXPECT_EQ(GetLe<uint16_t>(V, 0x30), 0x48);
  EXPECT_EQ(GetLe<uint16_t>(V, 0x34), 0); // no extended header
  EXPECT_EQ(V[0x37], 2);
  EXPECT_EQ(GetLe<uint32_t>(V, 0x38) * GetLe<uint32_t>(V, 0x3C), V.size());
  EXPECT_EQ(GetLe<uint64_t>(V, 0x40), 0u); // block map terminator
  EXPECT_EQ(*Sum16(std::span(V.data(), 0x48)), 0);
}

TEST(FirmwareVolume, FileDataLandsOnItsAlignmentWithPadFilesWhereNeeded) {
  struct Case {
    uint32_t BodyAlignment;
    uint32_t DataAlignment; // what the file declares
    bool Padded;
    uint32_t BlockSize;
  };
  const Case Cases[] = {
      {4, 8, false, 0x1000},     // file at 0x48, data at 0x60
      {16, 16, false, 0x1000},   // 0x60 is 16-aligned too
      {32, 128, true, 0x1000},   // the module image: data pushed to 0x80
      {4096, 4096, true, 0x200}, // larger than a block
  };
  for (const Case& C : Cases) {
    const auto F = File(C.BodyAlignment);
    VolumeOptions Options;
    Options.BlockSize = C.BlockSize;
    const BuiltVolume Built = *BuildFirmwareVolume({F}, Options);
    const auto& V = Built.Bytes;
    const size_t At = Built.FileOffsets.at(0);
    EXPECT_EQ((At + kFileHeaderSize) % C.DataAlignment, 0u) << C.BodyAlignment;
    EXPECT_EQ(V.size() % C.BlockSize, 0u);
    EXPECT_EQ(GetLe<uint32_t>(V, 0x38) * GetLe<uint32_t>(V, 0x3C), V.size());
    const auto Files = Walk(V, 0xFF);
    ASSERT_EQ(Files.size(), C.Padded ? 2u : 1u) << C.BodyAlignment;
    EXPECT_EQ(Files.back(), At);
    if (C.Padded) {
      EXPECT_EQ(V[Files[0] + 0x12], file_type::kPad);
      EXPECT_EQ(V[Files[0] + 0x17], 0xF8);
      std::vector<uint8_t> Pad(V.begin() + Files[0], V.begin() + At);
      Pad[0x17] = file_state::kFinished;
      EXPECT_TRUE(ReadFfsFile(Pad).Ok());
    }
    // The file is copied whole; only its state is stored complemented.
    EXPECT_EQ(V[At + 0x17], 0xF8);
    std::vector<uint8_t> Copy(V.begin() + At, V.begin() + At + F.size());
    Copy[0x17] = F[0x17];
    EXPECT_EQ(Copy, F);
    // The body of the aligned section lies on its alignment within the volume.
    const auto Sections = *ListSections(F);
    EXPECT_EQ((At + Sections.back().Offset + kSectionHeaderSize) % C.BodyAlignment, 0u);
    // Everything after the file is erased.
    for (size_t I = At + F.size(); I < V.size(); ++I)
      ASSERT_EQ(V[I], 0xFF) << I;
  }
}

std::vector<uint8_t> Renamed(std::vector<uint8_t> F, uint8_t Last) {
  FileRecipe Recipe;
  Recipe.Name = *pi::ParseGuid("F06C840E-DC65-4200-893D-CC11591799FF");
  Recipe.Name[15] = Last;
  const auto Sections = ListSections(F).Value();
  for (const SectionView& S : Sections) {
    Recipe.Sections.push_back({S.Type, Body(F, S), 4});
  }
  return BuildFfsFile(Recipe)->Bytes;
}

TEST(FirmwareVolume, SeveralFilesFollowEachOtherOnEightByteBoundaries) {
  const auto A = Renamed(File(4, 13), 1), B = Renamed(File(4, 7), 2), C = File(32, 50);
  const BuiltVolume Built = *BuildFirmwareVolume({A, B, C});
  const auto Files = Walk(Built.Bytes, 0xFF);
  ASSERT_EQ(Files.size(), 4u); // A, B, a pad, C
  EXPECT_EQ(Files[0], Built.FileOffsets[0]);
  EXPECT_EQ(Files[1], Built.FileOffsets[1]);
  EXPECT_EQ(Files[3], Built.FileOffsets[2]);
  for (size_t At : Files)
    EXPECT_EQ(At % 8, 0u);
}

TEST(FirmwareVolume, ZeroErasePolarityKeepsStatesAndFillsWithZero) {
  VolumeOptions Options;
  Options.ErasePolarity = false;
  const BuiltVolume Built = *BuildFirmwareVolume({File(4)}, Options);
  const auto& V = Built.Bytes;
  EXPECT_EQ(GetLe<uint32_t>(V, 0x2C) & kFvbErasePolarity, 0u);
  EXPECT_EQ(V[Built.FileOffsets[0] + 0x17], file_state::kFinished);
  EXPECT_EQ(V.back(), 0x00);
  EXPECT_EQ(*Sum16(std::span(V.data(), 0x48)), 0);
}

TEST(FirmwareVolume, RefusesDamagedFilesAndOddBlockSizes) {
  auto Bad = File(4);
  Bad[40] ^= 0xFF;
  auto KindOf = [](const auto& Built) {
    EXPECT_FALSE(Built.Ok());
    return Built.Ok() ? std::optional<sio::ErrorKind>() : Built.Kind();
  };
  EXPECT_EQ(KindOf(BuildFirmwareVolume({Bad})), sio::ErrorKind::BadInput);
  EXPECT_EQ(KindOf(BuildFirmwareVolume({std::vector<uint8_t>(10, 0xFF)})),
            sio::ErrorKind::BadInput);
  EXPECT_EQ(KindOf(BuildFirmwareVolume({File(4), File(16)})), sio::ErrorKind::Refused); // same name
  for (uint32_t Block : {0u, 4u, 3000u}) {
    VolumeOptions Options;
    Options.BlockSize = Block;
    EXPECT_EQ(KindOf(BuildFirmwareVolume({File(4)}, Options)), sio::ErrorKind::BadInput) << Block;
  }
}

// A file of Body bytes in one RAW section whose data asks for Alignment.
std::vector<uint8_t> AlignedFile(uint32_t Alignment, uint8_t Last, size_t Body = 1024) {
  FileRecipe Recipe;
  Recipe.Name = *pi::ParseGuid("F06C840E-DC65-4200-893D-CC1159179900");
  Recipe.Name[15] = Last;
  Recipe.Sections = {{section_type::kRaw, std::vector<uint8_t>(Body, 0x5A), Alignment, 4}};
  return BuildFfsFile(Recipe).Value().Bytes;
}

// Every size the volume would reach is held to the largest flash a platform
// maps (16 MiB), named in the message, before the bytes are made: the block
// size, the padding data alignments ask for, the files together.
TEST(FirmwareVolume, NothingLargerThanTheLargestFlashIsBuilt) {
  struct Case {
    const char* Label;
    std::vector<std::vector<uint8_t>> Files;
    uint32_t BlockSize;
    bool Built;
  };
  std::vector<std::vector<uint8_t>> Sixteen;
  for (uint8_t I = 0; I < 16; ++I)
    Sixteen.push_back(AlignedFile(1 << 20, I));
  const std::vector<std::vector<uint8_t>> Fifteen(Sixteen.begin(), Sixteen.end() - 1);
  const Case Cases[] = {
      {"block size of 32 MiB", {File(4)}, 0x2000000, false},
      {"block size of 2 GiB", {File(4)}, 0x80000000, false},
      {"block size of 16 MiB", {File(4)}, 0x1000000, true},
      {"a file aligned to 16 MiB", {AlignedFile(16 << 20, 1)}, 0x1000, false},
      {"fifteen files aligned to 1 MiB", Fifteen, 0x1000, true},
      {"sixteen files aligned to 1 MiB", Sixteen, 0x1000, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Label);
    VolumeOptions Options;
    Options.BlockSize = C.BlockSize;
    const auto Built = BuildFirmwareVolume(C.Files, Options);
    if (C.Built) {
      ASSERT_TRUE(Built) << Built.Message();
      EXPECT_LE(Built->Bytes.size(), kMaxBuiltVolumeSize);
    } else {
      ASSERT_FALSE(Built);
      EXPECT_NE(Built.Message().find("0x1000000"), std::string::npos) << Built.Message();
    }
  }
}

// Files made of sections are read down to their sections; a file whose
// last section runs past its end is refused, naming the file. A RAW file's
// data is not sections and is taken as it is.
TEST(FirmwareVolume, RefusesSectionsPastTheirFileAndNamesBothFilesOfOneName) {
  FileRecipe Recipe;
  Recipe.Name = *pi::ParseGuid("F06C840E-DC65-4200-893D-CC1159179910");
  Recipe.DataChecksum = false;
  Recipe.Sections = {{section_type::kRaw, std::vector<uint8_t>(32, 0x5A), 4}};
  for (uint8_t Type : {file_type::kPeim, uint8_t{0x02}, uint8_t{0x01}}) {
    SCOPED_TRACE(int(Type));
    Recipe.Type = Type;
    auto F = BuildFfsFile(Recipe).Value().Bytes;
    F[kFileHeaderSize] += 8; // the section's size: 8 bytes past the file's end
    VolumeOptions Options;
    Options.FileNames = {"long.ffs"};
    const auto Built = BuildFirmwareVolume({F}, Options);
    if (Type == 0x01) {
      EXPECT_TRUE(Built) << Built.Message();
    } else {
      ASSERT_FALSE(Built);
      EXPECT_EQ(Built.Message().rfind("long.ffs: ", 0), 0u) << Built.Message();
    }
  }
  VolumeOptions Options;
  Options.FileNames = {"a.ffs", "b.ffs", "c.ffs"};
  const auto Twice = BuildFirmwareVolume({Renamed(File(4), 1), File(4), File(16)}, Options);
  ASSERT_FALSE(Twice);
  EXPECT_EQ(Twice.Message(), "c.ffs: named F06C840E-DC65-4200-893D-CC1159179910, as b.ffs is");
}

} // namespace
