// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/OvmfImage.h"

#include <algorithm>
#include <optional>

#include "common/Hex.h"
#include "ovmf/FirmwareSurvey.h"
#include "ovmf/Lzma.h"
#include "pi/Checksum.h"

namespace ovmf {
namespace {

using sio::Hex;

constexpr const char* kUnknownLayout = "not an OVMF image this tool knows: ";

// The address of the volume, from the link bases of the PEIMs in it: each
// image's base minus its offset in the volume. They must agree.
sio::Result<uint32_t> VolumeAddressFromImages(std::span<const uint8_t> Volume) {
  auto Images = VolumeImages(Volume);
  if (!Images)
    return Images.Failure();
  std::optional<uint32_t> Address;
  for (const VolumeImage& I : *Images) {
    if (I.FileType != pi::file_type::kPeim && I.FileType != pi::file_type::kPeiCore)
      continue;
    // Where RVA 0 lies in the volume: the image's first run, moved back by its RVA.
    const auto& First = I.Runs.front();
    const uint64_t Rva0 =
        static_cast<uint64_t>(I.Bytes.data() - Volume.data()) + First.Offset - First.Rva;
    const uint32_t This = static_cast<uint32_t>(I.Base - Rva0);
    if (Address && *Address != This)
      return sio::Fail("the PEI volume's images are linked for different volume addresses (" +
                       Hex(*Address) + " and " + Hex(This) + ")");
    Address = This;
  }
  if (!Address)
    return sio::Fail("the PEI volume holds no PEIM image to learn its address from");
  return *Address;
}

} // namespace

sio::Result<OvmfImage> OvmfImage::Parse(std::vector<uint8_t> Image) {
  OvmfImage O;
  O.Image_ = std::move(Image);
  const std::span<const uint8_t> Bytes = O.Image_;
  auto Main = pi::ParseVolume(Bytes);
  if (!Main)
    return Main.Within("main firmware volume");
  O.Main_ = std::move(*Main);
  // The rest of the image is the SEC volume (more volumes may come first);
  // they fill it to its end, where the reset vector lies.
  bool SecFound = false;
  for (size_t At = O.Main_.Length; At < Bytes.size();) {
    auto V = pi::ParseVolume(Bytes.subspan(At));
    if (!V)
      return V.Within("volume at " + Hex(At));
    SecFound = SecFound || std::any_of(V->Files.begin(), V->Files.end(), [](const auto& F) {
                 return F.Type == pi::file_type::kSecCore;
               });
    At += V->Length;
  }
  if (!SecFound)
    return sio::Fail(std::string(kUnknownLayout) + "no SEC volume after the main volume");

  // The one FV_IMAGE file of the main volume, with one LZMA section.
  const auto IsVolumeFile = [](const pi::FfsFileView& F) {
    return F.Type == pi::file_type::kFvImage;
  };
  const auto Count = std::count_if(O.Main_.Files.begin(), O.Main_.Files.end(), IsVolumeFile);
  if (Count != 1)
    return sio::Fail(std::string(kUnknownLayout) + "the main firmware volume holds " +
                     std::to_string(Count) + " volume files, expected one");
  const auto It = std::find_if(O.Main_.Files.begin(), O.Main_.Files.end(), IsVolumeFile);
  O.File_ = *It;
  const auto Next = std::next(It);
  O.FileRoom_ = (Next == O.Main_.Files.end() ? O.Main_.Length : Next->Offset) - O.File_.Offset;

  const auto FileData = Bytes.subspan(O.File_.DataOffset(), O.File_.DataSize());
  auto Sections = pi::ParseSections(FileData);
  if (!Sections)
    return Sections.Within("main volume's volume file");
  pi::GuidDefinedSection Guided;
  if (Sections->size() != 1 || (*Sections)[0].Type != pi::section_type::kGuidDefined ||
      (*Sections)[0].HeaderSize != sizeof(pi::SectionHeader) ||
      (*Sections)[0].Size < sizeof Guided ||
      !pi::ReadRecord(FileData, (*Sections)[0].Offset, Guided) ||
      Guided.SectionDefinitionGuid != pi::kLzmaSectionGuid)
    return sio::Fail(std::string(kUnknownLayout) +
                     "the main volume's volume file is not one LZMA GUID-defined section");
  O.GuidSection_ = (*Sections)[0];
  O.GuidDataOffset_ = Guided.DataOffset;
  if (O.GuidDataOffset_ < sizeof Guided || O.GuidDataOffset_ > O.GuidSection_.Size)
    return sio::Fail("the LZMA section's data offset is out of range");
  auto Decompressed = LzmaAloneDecode(FileData.subspan(O.GuidSection_.Offset + O.GuidDataOffset_,
                                                       O.GuidSection_.Size - O.GuidDataOffset_));
  if (!Decompressed)
    return Decompressed.Failure();
  O.Decompressed_ = std::move(*Decompressed);

  // The first volume section inside is the PEI volume: it holds the PEI core.
  auto Inner = pi::ParseSections(O.Decompressed_);
  if (!Inner)
    return Inner.Within("decompressed volumes");
  const auto Pei = std::find_if(Inner->begin(), Inner->end(), [](const pi::SectionView& S) {
    return S.Type == pi::section_type::kFvImage;
  });
  if (Pei == Inner->end())
    return sio::Fail(std::string(kUnknownLayout) + "no volume inside the LZMA section");
  O.PeiSection_ = *Pei;
  // The next volume section is the DXE volume.
  const auto Dxe = std::find_if(std::next(Pei), Inner->end(), [](const pi::SectionView& S) {
    return S.Type == pi::section_type::kFvImage;
  });
  if (Dxe == Inner->end())
    return sio::Fail(std::string(kUnknownLayout) +
                     "no second volume (DXE) inside the LZMA section");
  O.DxeSection_ = *Dxe;
  if (auto DxeView = pi::ParseVolume(O.DxeVolume()); !DxeView)
    return DxeView.Within("DXE volume");
  auto PeiView = pi::ParseVolume(O.PeiVolume());
  if (!PeiView)
    return PeiView.Within("PEI volume");
  if (std::none_of(PeiView->Files.begin(), PeiView->Files.end(),
                   [](const auto& F) { return F.Type == pi::file_type::kPeiCore; }))
    return sio::Fail(std::string(kUnknownLayout) + "the first compressed volume has no PEI core");
  auto Address = VolumeAddressFromImages(O.PeiVolume());
  if (!Address)
    return Address.Failure();
  O.PeiAddress_ = *Address;
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

std::span<uint8_t> OvmfImage::DxeVolume() {
  return std::span<uint8_t>(Decompressed_)
      .subspan(DxeSection_.DataOffset(), DxeSection_.DataSize());
}

std::span<const uint8_t> OvmfImage::DxeVolume() const {
  return std::span<const uint8_t>(Decompressed_)
      .subspan(DxeSection_.DataOffset(), DxeSection_.DataSize());
}

sio::Result<std::vector<uint8_t>> OvmfImage::Rebuild() const {
  // The volume sections keep their sizes: a volume's length never changes,
  // only its free space is used. Their header checksums are set again all the same.
  std::vector<uint8_t> Volumes = Decompressed_;
  for (const pi::SectionView& S : {PeiSection_, DxeSection_})
    pi::SealFvHeader(std::span<uint8_t>(Volumes).subspan(S.DataOffset(), S.DataSize()));
  const auto Compressed = LzmaAloneEncode(Volumes);
  if (!Compressed)
    return Compressed.Failure();

  // GUID-defined section: the original header up to its data, new size.
  const size_t SectionSize = GuidDataOffset_ + Compressed->size();
  if (SectionSize >= pi::kMaxSize24)
    return sio::Fail(sio::ErrorKind::Refused,
                     "the recompressed section is too large for a section header");
  const size_t FileSize = File_.HeaderSize + SectionSize;
  if (pi::AlignUp(FileSize, pi::kFfsFileAlignment) > FileRoom_)
    return sio::Fail(sio::ErrorKind::Refused,
                     "the recompressed volume file (" + Hex(FileSize) +
                         " bytes) does not fit the room in the main volume (" + Hex(FileRoom_) +
                         " bytes)");
  if (File_.HeaderSize != sizeof(pi::FfsFileHeader))
    return sio::Fail("the volume file has a large-file header");

  std::vector<uint8_t> Image = Image_;
  const std::span<uint8_t> Room = std::span<uint8_t>(Image).subspan(File_.Offset, FileRoom_);
  std::fill(Room.begin(), Room.end(), Main_.ErasedByte());
  const std::span<const uint8_t> OldFile =
      std::span<const uint8_t>(Image_).subspan(File_.Offset, File_.Size);
  std::copy_n(OldFile.begin(), File_.HeaderSize + GuidDataOffset_, Room.begin());
  std::copy(Compressed->begin(), Compressed->end(),
            Room.begin() + File_.HeaderSize + GuidDataOffset_);
  pi::SectionHeader Section;
  pi::ReadRecord(Room, File_.HeaderSize, Section);
  Section.Size = static_cast<uint32_t>(SectionSize);
  pi::WriteRecord(Room, File_.HeaderSize, Section);
  pi::FfsFileHeader Header;
  pi::ReadRecord(Room, 0, Header);
  Header.Size = static_cast<uint32_t>(FileSize);
  pi::WriteRecord(Room, 0, Header);
  pi::SealFfsFile(Room.first(FileSize), File_.HeaderSize);
  pi::SealFvHeader(std::span<uint8_t>(Image).first(Main_.Length));
  return Image;
}

} // namespace ovmf
