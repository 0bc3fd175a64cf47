#include "ovmf/OvmfImage.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "ovmf/FirmwareError.h"
#include "ovmf/Lzma.h"
#include "ovmf/PiChecksum.h"
#include "pe/PeRebase.h"

namespace ovmf {
namespace {

constexpr size_t kTeHeaderSize = 40;
constexpr size_t kTeStrippedSizeOffset = 6;
constexpr size_t kTeImageBaseOffset = 0x10;

std::string Hex(size_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%zX", Value);
  return Text;
}

// The address of the volume, from the link bases of the PEIMs in it: each
// image's base minus its offset in the volume. They must agree.
uint32_t VolumeAddressFromImages(std::span<const uint8_t> Volume, const VolumeView& View) {
  std::optional<uint32_t> Address;
  for (const FfsFileView& F : View.Files) {
    if (F.Type != kFileTypePeim && F.Type != kFileTypePeiCore)
      continue;
    const auto Data = Volume.subspan(F.DataOffset(), F.Size - F.HeaderSize);
    for (const SectionView& S : ParseSections(Data, "PEI volume file " + FormatGuid(F.Name))) {
      const size_t ImageOffset = F.DataOffset() + S.DataOffset();
      uint64_t Base = 0;
      if (S.Type == kSectionPe32) {
        try {
          Base = pe::ReadPe32(Data.subspan(S.DataOffset(), S.DataSize())).ImageBase;
        } catch (const pe::PeError&) {
          continue;
        }
        Base -= ImageOffset;
      } else if (S.Type == kSectionTe && S.DataSize() >= kTeHeaderSize) {
        const uint8_t* Te = &Data[S.DataOffset()];
        Base = Load64(Te + kTeImageBaseOffset) -
               (ImageOffset + kTeHeaderSize - Load16(Te + kTeStrippedSizeOffset));
      } else {
        continue;
      }
      const uint32_t This = static_cast<uint32_t>(Base);
      if (Address && *Address != This)
        throw FirmwareError("the PEI volume's images are linked for different volume addresses (" +
                            Hex(*Address) + " and " + Hex(This) + ")");
      Address = This;
    }
  }
  if (!Address)
    throw FirmwareError("the PEI volume holds no PEIM image to learn its address from");
  return *Address;
}

} // namespace

OvmfImage OvmfImage::Parse(std::vector<uint8_t> Image) {
  OvmfImage O;
  O.Image_ = std::move(Image);
  const std::span<const uint8_t> Bytes = O.Image_;
  O.Main_ = ParseVolume(Bytes, "main firmware volume");
  // The rest of the image is the SEC volume (more volumes may come first);
  // they fill it to its end, where the reset vector lies.
  bool SecFound = false;
  for (size_t At = O.Main_.Length; At < Bytes.size();) {
    const VolumeView V = ParseVolume(Bytes.subspan(At), "volume at " + Hex(At));
    SecFound = SecFound || std::any_of(V.Files.begin(), V.Files.end(), [](const FfsFileView& F) {
                 return F.Type == kFileTypeSecCore;
               });
    At += V.Length;
  }
  if (!SecFound)
    throw FirmwareError("not an OVMF image this tool knows: no SEC volume after the main volume");

  // The one FV_IMAGE file of the main volume, with one LZMA section.
  const auto IsVolumeFile = [](const FfsFileView& F) { return F.Type == kFileTypeFvImage; };
  const auto Count = std::count_if(O.Main_.Files.begin(), O.Main_.Files.end(), IsVolumeFile);
  if (Count != 1)
    throw FirmwareError("not an OVMF image this tool knows: the main firmware volume holds " +
                        std::to_string(Count) + " volume files, expected one");
  const auto It = std::find_if(O.Main_.Files.begin(), O.Main_.Files.end(), IsVolumeFile);
  O.File_ = *It;
  const auto Next = std::next(It);
  O.FileRoom_ = (Next == O.Main_.Files.end() ? O.Main_.Length : Next->Offset) - O.File_.Offset;

  const auto FileData = Bytes.subspan(O.File_.DataOffset(), O.File_.Size - O.File_.HeaderSize);
  const auto Sections = ParseSections(FileData, "main volume's volume file");
  if (Sections.size() != 1 || Sections[0].Type != kSectionGuidDefined ||
      Sections[0].HeaderSize != kSectionHeaderSize ||
      Sections[0].Size < kGuidSectionDataOffsetField + 4 ||
      GuidAt(&FileData[Sections[0].Offset + kSectionHeaderSize]) != kLzmaSectionGuid)
    throw FirmwareError("not an OVMF image this tool knows: the main volume's volume file is not "
                        "one LZMA GUID-defined section");
  O.GuidSection_ = Sections[0];
  O.GuidDataOffset_ = Load16(&FileData[O.GuidSection_.Offset + kGuidSectionDataOffsetField]);
  if (O.GuidDataOffset_ < kGuidSectionDataOffsetField + 4 ||
      O.GuidDataOffset_ > O.GuidSection_.Size)
    throw FirmwareError("the LZMA section's data offset is out of range");
  O.Decompressed_ = LzmaAloneDecode(FileData.subspan(O.GuidSection_.Offset + O.GuidDataOffset_,
                                                     O.GuidSection_.Size - O.GuidDataOffset_));

  // The first volume section inside is the PEI volume: it holds the PEI core.
  std::optional<SectionView> Pei;
  for (const SectionView& S : ParseSections(O.Decompressed_, "decompressed volumes"))
    if (S.Type == kSectionFvImage) {
      Pei = S;
      break;
    }
  if (!Pei)
    throw FirmwareError("not an OVMF image this tool knows: no volume inside the LZMA section");
  O.PeiSection_ = *Pei;
  const VolumeView PeiView = ParseVolume(O.PeiVolume(), "PEI volume");
  if (std::none_of(PeiView.Files.begin(), PeiView.Files.end(),
                   [](const FfsFileView& F) { return F.Type == kFileTypePeiCore; }))
    throw FirmwareError(
        "not an OVMF image this tool knows: the first compressed volume has no PEI core");
  O.PeiAddress_ = VolumeAddressFromImages(O.PeiVolume(), PeiView);
  return O;
}

std::span<uint8_t> OvmfImage::PeiVolume() {
  return std::span<uint8_t>(Decompressed_)
      .subspan(PeiSection_.DataOffset(), PeiSection_.DataSize());
}

std::span<const uint8_t> OvmfImage::PeiVolume() const {
  return std::span<const uint8_t>(Decompressed_)
      .subspan(PeiSection_.DataOffset(), PeiSection_.DataSize());
}

std::vector<uint8_t> OvmfImage::Rebuild() const {
  // The volume section keeps its size: the PEI volume's length never changes,
  // only its free space is used. Its header checksum is set again all the same.
  std::vector<uint8_t> Volumes = Decompressed_;
  SealFvHeader(
      std::span<uint8_t>(Volumes).subspan(PeiSection_.DataOffset(), PeiSection_.DataSize()));
  const std::vector<uint8_t> Compressed = LzmaAloneEncode(Volumes);

  // GUID-defined section: the original header up to its data, new size.
  const size_t SectionSize = GuidDataOffset_ + Compressed.size();
  if (SectionSize >= kMaxSectionSize)
    throw FirmwareError("the recompressed section is too large for a section header");
  const size_t FileSize = File_.HeaderSize + SectionSize;
  if (AlignUp(FileSize, kFfsAlignment) > FileRoom_)
    throw FirmwareError("the recompressed volume file (" + Hex(FileSize) +
                        " bytes) does not fit the room in the main volume (" + Hex(FileRoom_) +
                        " bytes)");
  if (File_.HeaderSize != kFfsHeaderSize)
    throw FirmwareError("the volume file has a large-file header");

  std::vector<uint8_t> Image = Image_;
  const std::span<uint8_t> Room = std::span<uint8_t>(Image).subspan(File_.Offset, FileRoom_);
  std::fill(Room.begin(), Room.end(), Main_.ErasedByte());
  const std::span<const uint8_t> OldFile =
      std::span<const uint8_t>(Image_).subspan(File_.Offset, File_.Size);
  std::copy_n(OldFile.begin(), File_.HeaderSize + GuidDataOffset_, Room.begin());
  std::copy(Compressed.begin(), Compressed.end(),
            Room.begin() + File_.HeaderSize + GuidDataOffset_);
  Store24(&Room[File_.HeaderSize], static_cast<uint32_t>(SectionSize));
  Store24(&Room[kFfsSizeOffset], static_cast<uint32_t>(FileSize));
  SealFfsFile(Room.first(FileSize), File_.HeaderSize);
  SealFvHeader(std::span<uint8_t>(Image).first(Main_.Length));
  return Image;
}

} // namespace ovmf
