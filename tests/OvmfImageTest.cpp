// Opening Debian's OVMF IA-32 image to its PEI volume and closing it again:
// sizes, the LZMA size field and checksums up the chain, and refusals of
// images laid out otherwise.
#include <gtest/gtest.h>

#include "ovmf/FirmwareError.h"
#include "ovmf/Lzma.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageFile.h"

namespace {

const std::vector<uint8_t>& Code() {
  static const std::vector<uint8_t> Bytes = pe::ReadFileBytes(SIO_OVMF_CODE).value();
  return Bytes;
}

TEST(OvmfImage, OpensDebiansImageToItsPeiVolume) {
  const auto Image = ovmf::OvmfImage::Parse(Code());
  EXPECT_EQ(Image.PeiVolumeAddress(), 0x820000u);
  const auto View = ovmf::ParseVolume(Image.PeiVolume(), "PEI volume");
  EXPECT_EQ(View.Length, 0xE0000u);
  EXPECT_GT(View.Length - View.FreeOffset, 0x10000u);
}

TEST(OvmfImage, RebuildsWithTheModuleAndEverySizeAndChecksumHolds) {
  auto Image = ovmf::OvmfImage::Parse(Code());
  const auto File = packaging::BuildSioModuleFile(pe::ReadFileBytes(SIO_IMAGE_FILE).value(),
                                                  packaging::DepexChoice::True);
  const ovmf::Insertion In = ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), File);
  const auto Patched = Image.Rebuild();
  ASSERT_EQ(Patched.size(), Code().size());
  // Parse checks every volume, file and section size and checksum again.
  const auto Reopened = ovmf::OvmfImage::Parse(Patched);
  const auto Pei = Reopened.PeiVolume();
  EXPECT_TRUE(
      std::equal(Pei.begin(), Pei.end(), Image.PeiVolume().begin(), Image.PeiVolume().end()));
  const auto View = ovmf::ParseVolume(Pei, "PEI volume");
  EXPECT_EQ(View.Files.back().Name, *pi::ParseGuid(packaging::kSioModuleFileGuid));
  EXPECT_EQ(View.Files.back().Offset, In.FileOffset);
  // Everything after the main volume (the SEC volume) is untouched.
  const size_t MainLength = ovmf::Load32(&Code()[ovmf::kFvLengthOffset]);
  EXPECT_TRUE(std::equal(Patched.begin() + MainLength, Patched.end(), Code().begin() + MainLength));
}

TEST(OvmfImage, RefusesImagesLaidOutOtherwise) {
  auto NoSignature = Code();
  NoSignature[ovmf::kFvSignatureOffset] = 'x';
  auto BadVolumeFile = Code();
  BadVolumeFile[0x78 + ovmf::kFfsHeaderChecksumOffset] ^= 1; // the compressed volume's file
  auto NotLzma = Code();
  NotLzma[0x78 + ovmf::kFfsHeaderSize + 4] ^= 1; // its section's GUID
  const std::vector<uint8_t> Truncated(Code().begin(), Code().begin() + 0x100000);
  const std::vector<uint8_t> Empty;
  // The main volume alone, without the SEC volume after it.
  const std::vector<uint8_t> MainOnly(
      Code().begin(), Code().begin() + ovmf::Load32(&Code()[ovmf::kFvLengthOffset]));
  for (const auto& Bytes : {NoSignature, BadVolumeFile, NotLzma, Truncated, Empty, MainOnly})
    EXPECT_THROW(ovmf::OvmfImage::Parse(Bytes), ovmf::FirmwareError);
}

} // namespace
