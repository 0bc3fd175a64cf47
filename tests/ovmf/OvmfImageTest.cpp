// SPDX-License-Identifier: BSD-2-Clause-Patent
// Opening Debian's OVMF IA-32 image to its PEI volume and closing it again:
// sizes, the LZMA size field and checksums up the chain, and refusals of
// images laid out otherwise.
#include <gtest/gtest.h>

#include "common/BuildPaths.h"
#include "ovmf/Lzma.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"
#include "pi/FirmwareVolume.h"

namespace {

const std::vector<uint8_t>& Code() {
  static const std::vector<uint8_t> Bytes = pe::ReadFileBytes(sio::build::kOvmfCode).value();
  return Bytes;
}

size_t MainVolumeLength() {
  pi::FvHeader H;
  pi::ReadRecord(Code(), 0, H);
  return static_cast<size_t>(H.FvLength);
}

TEST(OvmfImage, OpensDebiansImageToItsPeiVolume) {
  const auto Image = ovmf::OvmfImage::Parse(Code()).Value();
  EXPECT_EQ(Image.PeiVolumeAddress(), 0x820000u);
  const auto View = pi::ParseVolume(Image.PeiVolume()).Value();
  EXPECT_EQ(View.Length, 0xE0000u);
  EXPECT_GT(View.Length - View.FreeOffset, 0x10000u);
}

TEST(OvmfImage, RebuildsWithTheModuleAndEverySizeAndChecksumHolds) {
  auto Image = ovmf::OvmfImage::Parse(Code()).Value();
  const auto File = packaging::BuildSioModuleFile(pe::ReadFileBytes(sio::build::kImageFile).value(),
                                                  packaging::DepexChoice::True)
                        .Value();
  const ovmf::Insertion In =
      ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), File).Value();
  const auto Patched = Image.Rebuild().Value();
  ASSERT_EQ(Patched.size(), Code().size());
  // Parse checks every volume, file and section size and checksum again.
  const auto Reopened = ovmf::OvmfImage::Parse(Patched).Value();
  const auto Pei = Reopened.PeiVolume();
  EXPECT_TRUE(
      std::equal(Pei.begin(), Pei.end(), Image.PeiVolume().begin(), Image.PeiVolume().end()));
  const auto View = pi::ParseVolume(Pei).Value();
  EXPECT_EQ(View.Files.back().Name, packaging::kSioModuleFileName);
  EXPECT_EQ(View.Files.back().Offset, In.FileOffset);
  // Everything after the main volume (the SEC volume) is untouched.
  const size_t MainLength = MainVolumeLength();
  EXPECT_TRUE(std::equal(Patched.begin() + MainLength, Patched.end(), Code().begin() + MainLength));
}

TEST(OvmfImage, RefusesImagesLaidOutOtherwise) {
  auto NoSignature = Code();
  NoSignature[offsetof(pi::FvHeader, Signature)] = 'x';
  auto BadVolumeFile = Code();
  BadVolumeFile[0x78 + offsetof(pi::FfsFileHeader, HeaderChecksum)] ^=
      1; // the compressed volume's file
  auto NotLzma = Code();
  NotLzma[0x78 + sizeof(pi::FfsFileHeader) + 4] ^= 1; // its section's GUID
  const std::vector<uint8_t> Truncated(Code().begin(), Code().begin() + 0x100000);
  const std::vector<uint8_t> Empty;
  // The main volume alone, without the SEC volume after it.
  const std::vector<uint8_t> MainOnly(Code().begin(),
                                      Code().begin() + static_cast<ptrdiff_t>(MainVolumeLength()));
  for (const auto& Bytes : {NoSignature, BadVolumeFile, NotLzma, Truncated, Empty, MainOnly}) {
    const auto Parsed = ovmf::OvmfImage::Parse(Bytes);
    ASSERT_FALSE(Parsed.Ok());
    EXPECT_EQ(Parsed.Kind(), sio::ErrorKind::BadInput) << Parsed.Message();
  }
}

} // namespace
