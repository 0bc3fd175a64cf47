// SPDX-License-Identifier: BSD-2-Clause-Patent
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pi/Checksum.h"
#include "pi/FfsFile.h"
#include "tests/pi/PiTestSupport.h"

namespace {

using namespace pi;
using namespace pitest;

const pi::Guid kName = *pi::ParseGuid("00112233-4455-6677-8899-AABBCCDDEEFF");

std::vector<uint8_t> Body(size_t Size, uint8_t Seed) {
  std::vector<uint8_t> Bytes(Size);
  for (size_t I = 0; I < Size; ++I)
    Bytes[I] = static_cast<uint8_t>(Seed + 7 * I);
  return Bytes;
}

uint32_t Size24(const std::vector<uint8_t>& Bytes, size_t At) {
  return Bytes[At] | Bytes[At + 1] << 8 | Bytes[At + 2] << 16;
}

TEST(FfsFile, DataAlignmentRoundsUpToWhatTheHeaderCanDeclare) {
  struct Case {
    uint32_t Wanted;
    uint32_t Granted;
    uint8_t Attributes;
  };
  const Case Cases[] = {
      {1, 8, 0x00},
      {8, 8, 0x00},
      {16, 16, 0x08},
      {32, 128, 0x10},
      {128, 128, 0x10},
      {256, 512, 0x18},
      {1024, 1024, 0x20},
      {4096, 4096, 0x28},
      {8192, 32768, 0x30},
      {65536, 65536, 0x38},
      {131072, 131072, 0x02},
      {1u << 20, 1u << 20, 0x1A},
      {16u << 20, 16u << 20, 0x3A},
  };
  for (const Case& C : Cases) {
    const DataAlignment A = *EncodeDataAlignment(C.Wanted);
    EXPECT_EQ(A.Bytes, C.Granted) << C.Wanted;
    EXPECT_EQ(A.Attributes, C.Attributes) << C.Wanted;
    EXPECT_EQ(DecodeDataAlignment(A.Attributes | file_attr::kChecksum), C.Granted) << C.Wanted;
  }
  for (uint32_t Bad : {0u, 3u, 48u, 32u << 20}) {
    const auto Encoded = EncodeDataAlignment(Bad);
    ASSERT_FALSE(Encoded.Ok()) << Bad;
    EXPECT_EQ(Encoded.Kind(), sio::ErrorKind::BadInput) << Bad;
  }
}

TEST(FfsFile, AlignedBodiesGetARawPadSectionInFront) {
  struct Case {
    size_t FirstBody;    // body size of the section before the aligned one
    uint32_t Alignment;  // wanted for the second body
    bool Padded;         // a RAW section lies between them
    size_t SecondBodyAt; // offset of the second body within the file
    uint32_t Phase = 0;  // the body lies this far past a multiple of Alignment
  };
  const Case Cases[] = {
      {18, 32, true, 24 + 32}, // the variable-PPI depex: a 4-byte pad, header only
      {2, 32, true, 24 + 32},  // TRUE depex: pad of 20 bytes
      {2, 4, false, 24 + 12},  // no alignment wanted: the next 4-byte boundary
      {5, 4, false, 24 + 16},  // 9-byte section, padded to 12 with zeros, not a section
      {4, 8, true, 24 + 16},   // header would be at 8, body at 12: a 4-byte pad
      {8, 8, false, 24 + 16},  // already aligned: header at 12, body at 16
      {2, 16, true, 24 + 16},  {100, 4096, true, 24 + 4096},
  };
  for (const Case& C : Cases) {
    FileRecipe Recipe;
    Recipe.Name = kName;
    Recipe.Sections = {{section_type::kPeiDepex, Body(C.FirstBody, 1), 4},
                       {section_type::kPe32, Body(64, 2), C.Alignment, C.Phase},
                       {section_type::kUserInterface, UserInterfaceBody(u"X"), 4}};
    const BuiltFile F = *BuildFfsFile(Recipe);
    const auto Sections = *ListSections(F.Bytes);
    ASSERT_EQ(Sections.size(), C.Padded ? 4u : 3u) << C.FirstBody << "/" << C.Alignment;
    EXPECT_EQ(F.BodyOffsets[1], C.SecondBodyAt);
    EXPECT_EQ((F.BodyOffsets[1] - kFileHeaderSize) % C.Alignment, C.Phase);
    const SectionView& Aligned = Sections[C.Padded ? 2 : 1];
    EXPECT_EQ(Aligned.Type, section_type::kPe32);
    EXPECT_EQ(Aligned.Offset + kSectionHeaderSize, C.SecondBodyAt);
    EXPECT_EQ(pitest::Body(F.Bytes, Aligned), Body(64, 2));
    if (C.Padded) {
      EXPECT_EQ(Sections[1].Type, section_type::kRaw);
    }
    for (const SectionView& S : Sections)
      EXPECT_EQ(S.Offset % 4, 0u);
    // The declared data alignment covers the largest body alignment.
    EXPECT_GE(DecodeDataAlignment(F.Bytes[0x13]), C.Alignment);
    // Size counts header and sections, not padding after the last one.
    EXPECT_EQ(Size24(F.Bytes, 0x14), F.Bytes.size());
    EXPECT_EQ(F.Bytes.size(), Sections.back().Offset + 4 + 4);
  }
}

TEST(FfsFile, RefusesAlignmentsSectionBoundariesCannotMeet) {
  struct Case {
    uint32_t Alignment, Phase;
  };
  for (const Case C : {Case{0, 0}, Case{2, 0}, Case{24, 0}, Case{32, 6}, Case{32, 32}}) {
    FileRecipe Recipe;
    Recipe.Sections = {{section_type::kPe32, Body(8, 1), C.Alignment, C.Phase}};
    const auto Built = BuildFfsFile(Recipe);
    ASSERT_FALSE(Built.Ok()) << C.Alignment << "/" << C.Phase;
    EXPECT_EQ(Built.Kind(), sio::ErrorKind::BadInput) << C.Alignment << "/" << C.Phase;
  }
}

TEST(FfsFile, UserInterfaceNameIsUtf16WithATerminator) {
  const auto B = UserInterfaceBody(u"SioF81216aPei");
  ASSERT_EQ(B.size() + kSectionHeaderSize, 4u + 2 * (13 + 1));
  EXPECT_EQ(B[0], 'S');
  EXPECT_EQ(B[1], 0);
  EXPECT_EQ(B[24], 'i');
  EXPECT_EQ(B[26], 0);
  EXPECT_EQ(B[27], 0);
  EXPECT_EQ(UserInterfaceBody(u"\u00E9\u4E2D"),
            (std::vector<uint8_t>{0xE9, 0x00, 0x2D, 0x4E, 0, 0}));
}

TEST(FfsFile, HeaderCarriesChecksumsStateAndType) {
  for (bool Real : {true, false}) {
    FileRecipe Recipe;
    Recipe.Name = kName;
    Recipe.Type = file_type::kPeim;
    Recipe.DataChecksum = Real;
    Recipe.Sections = {{section_type::kRaw, Body(37, 9), 4}};
    const auto F = BuildFfsFile(Recipe)->Bytes;
    EXPECT_TRUE(std::equal(kName.begin(), kName.end(), F.begin()));
    EXPECT_EQ(F[0x12], file_type::kPeim);
    EXPECT_EQ(F[0x17], file_state::kFinished);
    EXPECT_EQ(F[0x17], 0x07);
    // Header sums to zero with State and the file checksum taken as zero.
    std::vector<uint8_t> Header(F.begin(), F.begin() + kFileHeaderSize);
    Header[0x11] = Header[0x17] = 0;
    EXPECT_EQ(Sum8(Header), 0);
    const std::span<const uint8_t> Data(F.data() + kFileHeaderSize, F.size() - kFileHeaderSize);
    if (Real) {
      EXPECT_EQ(F[0x13] & file_attr::kChecksum, file_attr::kChecksum);
      EXPECT_EQ(static_cast<uint8_t>(Sum8(Data) + F[0x11]), 0);
    } else {
      EXPECT_EQ(F[0x13] & file_attr::kChecksum, 0);
      EXPECT_EQ(F[0x11], kFfsFixedChecksum);
    }
    EXPECT_TRUE(ReadFfsFile(F).Ok());
  }
}

TEST(FfsFile, ReaderRejectsDamagedFiles) {
  FileRecipe Recipe;
  Recipe.Name = kName;
  Recipe.Sections = {{section_type::kRaw, Body(40, 3), 4}};
  const auto Good = BuildFfsFile(Recipe)->Bytes;
  struct Case {
    const char* What;
    size_t Offset; // byte flipped; SIZE_MAX: cut the file short instead
    std::string Fault;
  };
  const Case Cases[] = {
      {"name", 0x03, "header checksum"},
      {"type", 0x12, "header checksum"},
      {"header checksum", 0x10, "header checksum"},
      {"data", 0x30, "data checksum"},
      {"file checksum", 0x11, "data checksum"},
      {"state", 0x17, "state"},
      {"size", 0x15, "does not fit"},
      {"cut short", SIZE_MAX, "does not fit"},
  };
  for (const Case& C : Cases) {
    auto Bad = Good;
    if (C.Offset == SIZE_MAX) {
      Bad.resize(Bad.size() - 1);
    } else {
      Bad[C.Offset] ^= 0x01;
    }
    const auto Read = ReadFfsFile(Bad);
    ASSERT_FALSE(Read.Ok()) << C.What << " accepted";
    EXPECT_EQ(Read.Kind(), sio::ErrorKind::BadInput) << C.What;
    EXPECT_NE(Read.Message().find(C.Fault), std::string::npos) << C.What << ": " << Read.Message();
  }
  EXPECT_EQ(ReadFfsFile(std::vector<uint8_t>(23, 0)).Kind(), sio::ErrorKind::BadInput);
}

TEST(FfsFile, SectionWalkStopsAtASectionBeyondTheFile) {
  FileRecipe Recipe;
  Recipe.Name = kName;
  Recipe.DataChecksum = false; // so the damaged size is not caught by the data checksum
  Recipe.Sections = {{section_type::kRaw, Body(8, 3), 4}, {section_type::kRaw, Body(8, 4), 4}};
  auto F = BuildFfsFile(Recipe)->Bytes;
  F[kFileHeaderSize + 12 + 1] = 0x01; // second section claims 268 bytes
  ASSERT_FALSE(ListSections(F).Ok());
  EXPECT_EQ(ListSections(F).Kind(), sio::ErrorKind::BadInput);
  F[kFileHeaderSize + 12 + 1] = 0x00;
  F[kFileHeaderSize + 12] = 0x02; // and now less than its own header
  ASSERT_FALSE(ListSections(F).Ok());
  EXPECT_EQ(ListSections(F).Kind(), sio::ErrorKind::BadInput);
}

TEST(FfsFile, TooLargeForA24BitSizeIsRefused) {
  FileRecipe Recipe;
  Recipe.Sections = {{section_type::kRaw, std::vector<uint8_t>(kMaxSize24 - kFileHeaderSize), 4}};
  const auto Built = BuildFfsFile(Recipe);
  ASSERT_FALSE(Built.Ok());
  EXPECT_EQ(Built.Kind(), sio::ErrorKind::BadInput);
}

} // namespace
