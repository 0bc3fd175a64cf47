// SPDX-License-Identifier: BSD-2-Clause-Patent
// The 8- and 16-bit sums, and the FFS and volume header checksums made from
// them, against hand-worked values and headers taken from Debian's OVMF image.
#include <gtest/gtest.h>

#include <vector>

#include "pi/Checksum.h"
#include "pi/Records.h"

namespace {

using namespace pi;

TEST(Checksums, EightBitChecksumCompletesTheSumToZero) {
  struct Case {
    std::vector<uint8_t> Bytes;
    uint8_t Checksum;
  };
  const Case Cases[] = {
      {{}, 0x00},
      {{0x01}, 0xFF},
      {{0xFF, 0x01}, 0x00},       // carries out of the byte are dropped
      {{0x12, 0x34, 0x56}, 0x64}, // sum 0x9C
      {{0x80, 0x80, 0x80}, 0x80}, // sum 0x180
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Checksum8(C.Bytes), C.Checksum);
    std::vector<uint8_t> Whole = C.Bytes;
    Whole.push_back(Checksum8(C.Bytes));
    EXPECT_EQ(Sum8(Whole), 0);
  }
}

TEST(Checksums, SixteenBitChecksumTakesLittleEndianWords) {
  struct Case {
    std::vector<uint8_t> Bytes;
    uint16_t Sum;
    uint16_t Checksum;
  };
  const Case Cases[] = {
      {{}, 0x0000, 0x0000},
      {{0x34, 0x12}, 0x1234, 0xEDCC},
      {{0x00, 0x01}, 0x0100, 0xFF00},             // high byte second
      {{0xFF, 0xFF, 0x02, 0x00}, 0x0001, 0xFFFF}, // carry out of 16 bits dropped
      {{0x5F, 0x46, 0x56, 0x48}, 0x8EB5, 0x714B}, // "_FVH"
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(*Sum16(C.Bytes), C.Sum);
    EXPECT_EQ(*Checksum16(C.Bytes), C.Checksum);
    std::vector<uint8_t> Whole = C.Bytes;
    Whole.push_back(static_cast<uint8_t>(C.Checksum));
    Whole.push_back(static_cast<uint8_t>(C.Checksum >> 8));
    EXPECT_EQ(*Sum16(Whole), 0);
  }
}

TEST(Checksums, SixteenBitSumRefusesAnOddLength) {
  const std::vector<uint8_t> Odd = {1, 2, 3};
  ASSERT_FALSE(Sum16(Odd).Ok());
  ASSERT_FALSE(Checksum16(Odd).Ok());
  EXPECT_EQ(Sum16(Odd).Kind(), sio::ErrorKind::BadInput);
  EXPECT_EQ(Checksum16(Odd).Kind(), sio::ErrorKind::BadInput);
}

// OVMF's PEI core file header as it lies in the PEI volume (state 0xF8).
const std::vector<uint8_t> kPeiCoreHeader = {0x14, 0x5B, 0xC0, 0x52, 0x98, 0x0B, 0x6C, 0x49,
                                             0xBC, 0x3B, 0x04, 0xB5, 0x02, 0x11, 0xD6, 0x80,
                                             0x62, 0xAA, 0x04, 0x10, 0x3A, 0x5E, 0x00, 0xF8};
// OVMF's main volume header (checksum 0x62F3 at 0x32).
const std::vector<uint8_t> kMainVolumeHeader = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F, 0x99, 0x35, 0x89, 0x61, 0x85, 0xC3,
    0x2D, 0xD3, 0x00, 0x80, 0x34, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5F, 0x46, 0x56, 0x48, 0xFF,
    0xFE, 0x04, 0x00, 0x48, 0x00, 0xF3, 0x62, 0x60, 0x00, 0x00, 0x02, 0x48, 0x03, 0x00, 0x00,
    0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

FfsFileHeader HeaderOf(const std::vector<uint8_t>& Bytes) {
  FfsFileHeader H;
  ReadRecord(Bytes, 0, H);
  return H;
}

TEST(PiChecksum, MatchesTheValuesInOvmf) {
  EXPECT_EQ(FfsHeaderChecksum(kPeiCoreHeader), 0x62);
  EXPECT_EQ(FvHeaderChecksum(kMainVolumeHeader), 0x62F3);
  // The records read the same fields.
  EXPECT_EQ(HeaderOf(kPeiCoreHeader).HeaderChecksum, 0x62);
  EXPECT_EQ(HeaderOf(kPeiCoreHeader).Type, file_type::kPeiCore);
  FvHeader V;
  ASSERT_TRUE(ReadRecord(kMainVolumeHeader, 0, V));
  EXPECT_EQ(V.Checksum, 0x62F3);
  EXPECT_EQ(V.Signature, kFvSignature);
  EXPECT_EQ(V.FileSystemGuid, kFfs2FileSystemGuid);
  EXPECT_EQ(V.HeaderLength, kFvMinHeaderLength);
}

TEST(PiChecksum, HeaderChecksumIgnoresStateAndFileChecksumOnly) {
  auto Header = kPeiCoreHeader;
  Header[offsetof(FfsFileHeader, State)] = 0x07;
  Header[offsetof(FfsFileHeader, FileChecksum)] = 0x12;
  EXPECT_EQ(FfsHeaderChecksum(Header), 0x62);
  Header[offsetof(FfsFileHeader, Attributes)] ^= 0x40; // the attributes are covered
  EXPECT_NE(FfsHeaderChecksum(Header), 0x62);
}

TEST(PiChecksum, SealedFileVerifies) {
  struct Case {
    uint8_t Attributes;
    std::vector<uint8_t> Data;
  };
  const Case Cases[] = {
      {0x00, {1, 2, 3}}, {0x40, {1, 2, 3}}, {0x40, {}}, {0x40, {0xFF, 0xFF, 0x02}}};
  for (const Case& C : Cases) {
    std::vector<uint8_t> File(kPeiCoreHeader.begin(), kPeiCoreHeader.end());
    File[offsetof(FfsFileHeader, Attributes)] = C.Attributes;
    File.insert(File.end(), C.Data.begin(), C.Data.end());
    SealFfsFile(File, sizeof(FfsFileHeader));
    uint8_t HeaderSum = 0, DataSum = 0;
    for (size_t I = 0; I < sizeof(FfsFileHeader); ++I)
      if (I != offsetof(FfsFileHeader, State) && I != offsetof(FfsFileHeader, FileChecksum))
        HeaderSum += File[I];
    for (size_t I = sizeof(FfsFileHeader); I < File.size(); ++I)
      DataSum += File[I];
    EXPECT_EQ(HeaderSum, 0);
    if (C.Attributes & file_attr::kChecksum)
      EXPECT_EQ(static_cast<uint8_t>(DataSum + HeaderOf(File).FileChecksum), 0);
    else
      EXPECT_EQ(HeaderOf(File).FileChecksum, kFfsFixedChecksum);
  }
}

TEST(PiChecksum, SealedVolumeHeaderSumsToZero) {
  auto Volume = kMainVolumeHeader;
  Volume[0x22] = 0x35; // a different length
  SealFvHeader(Volume);
  EXPECT_EQ(*Sum16(Volume), 0);
  FvHeader V;
  ReadRecord(Volume, 0, V);
  EXPECT_NE(V.Checksum, 0x62F3);
}

} // namespace
