// Checksums of PI structures against headers taken from Debian's OVMF image,
// and the seal/verify round trip on changed data.
#include <gtest/gtest.h>

#include <vector>

#include "ovmf/PiChecksum.h"
#include "ovmf/PiLayout.h"

namespace {

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

TEST(PiChecksum, MatchesTheValuesInOvmf) {
  EXPECT_EQ(ovmf::FfsHeaderChecksum(kPeiCoreHeader), 0x62);
  EXPECT_EQ(ovmf::FvHeaderChecksum(kMainVolumeHeader), 0x62F3);
}

TEST(PiChecksum, HeaderChecksumIgnoresStateAndFileChecksumOnly) {
  auto Header = kPeiCoreHeader;
  Header[ovmf::kFfsStateOffset] = 0x07;
  Header[ovmf::kFfsFileChecksumOffset] = 0x12;
  EXPECT_EQ(ovmf::FfsHeaderChecksum(Header), 0x62);
  Header[ovmf::kFfsAttributesOffset] ^= 0x40; // the attributes are covered
  EXPECT_NE(ovmf::FfsHeaderChecksum(Header), 0x62);
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
    File[ovmf::kFfsAttributesOffset] = C.Attributes;
    File.insert(File.end(), C.Data.begin(), C.Data.end());
    ovmf::SealFfsFile(File, ovmf::kFfsHeaderSize);
    uint8_t HeaderSum = 0, DataSum = 0;
    for (size_t I = 0; I < ovmf::kFfsHeaderSize; ++I)
      if (I != ovmf::kFfsStateOffset && I != ovmf::kFfsFileChecksumOffset)
        HeaderSum += File[I];
    for (size_t I = ovmf::kFfsHeaderSize; I < File.size(); ++I)
      DataSum += File[I];
    EXPECT_EQ(HeaderSum, 0);
    if (C.Attributes & ovmf::kFfsAttribChecksum)
      EXPECT_EQ(static_cast<uint8_t>(DataSum + File[ovmf::kFfsFileChecksumOffset]), 0);
    else
      EXPECT_EQ(File[ovmf::kFfsFileChecksumOffset], ovmf::kFfsFixedChecksum);
  }
}

TEST(PiChecksum, SealedVolumeHeaderSumsToZero) {
  auto Volume = kMainVolumeHeader;
  Volume[0x22] = 0x35; // a different length
  ovmf::SealFvHeader(Volume);
  uint16_t Sum = 0;
  for (size_t I = 0; I < Volume.size(); I += 2)
    Sum += ovmf::Load16(&Volume[I]);
  EXPECT_EQ(Sum, 0);
  EXPECT_NE(ovmf::Load16(&Volume[ovmf::kFvChecksumOffset]), 0x62F3);
}

} // namespace
