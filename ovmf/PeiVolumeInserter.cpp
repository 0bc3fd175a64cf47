// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/PeiVolumeInserter.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "common/Hex.h"
#include "pe/ImageCheck.h"
#include "pe/PeRebase.h"
#include "pe/TeImage.h"
#include "pi/Checksum.h"
#include "pi/FirmwareVolume.h"

namespace ovmf {
namespace {

using sio::Hex;

// The file's image, PE32 or TE, and what placing it needs.
struct ImageInFile {
  pi::SectionView Section; // offset relative to the file
  bool Te = false;
  int64_t BaseOffset = 0; // where RVA 0 lies, relative to the file
  size_t Alignment = 0;   // of RVA 0's address
};

// How an image is checked: the module's file passes the module image
// validation; the firmware's own files, only moved, need only be sound images.
enum class ImageCheck { Module, FormatOnly };

// The image among a file's sections (offsets relative to the file).
sio::Result<ImageInFile> ImageAmong(std::span<const uint8_t> File,
                                    const std::vector<pi::SectionView>& Sections,
                                    ImageCheck Check = ImageCheck::Module) {
  std::vector<pi::SectionView> Images;
  for (const pi::SectionView& S : Sections)
    if (S.Type == pi::section_type::kPe32 || S.Type == pi::section_type::kTe)
      Images.push_back(S);
  if (Images.size() != 1)
    return sio::Fail(std::to_string(Images.size()) + " PE32/TE sections, expected one");
  ImageInFile I;
  I.Section = Images[0];
  I.Te = I.Section.Type == pi::section_type::kTe;
  const auto Bytes = File.subspan(I.Section.DataOffset(), I.Section.DataSize());
  if (I.Te) {
    auto Te = Check == ImageCheck::Module ? pe::ValidateTeImage(Bytes) : pe::ReadTe(Bytes);
    if (!Te)
      return Te.Within("image");
    I.BaseOffset =
        static_cast<int64_t>(I.Section.DataOffset() + pi::kTeHeaderSize) - Te->StrippedSize;
    // A TE header keeps no alignment; the file's data alignment carries it.
    I.Alignment = 1;
    return I;
  }
  uint32_t SectionAlignment = 0, FileAlignment = 0;
  if (Check == ImageCheck::Module) {
    auto Pe = pe::ValidatePe32Image(Bytes);
    if (!Pe)
      return Pe.Within("image");
    SectionAlignment = Pe->SectionAlignment;
    FileAlignment = Pe->FileAlignment;
  } else {
    auto Pe = pe::ReadPe32(Bytes);
    if (!Pe)
      return Pe.Within("image");
    SectionAlignment = Pe->SectionAlignment;
    FileAlignment = Pe->FileAlignment;
  }
  if (SectionAlignment != FileAlignment)
    return sio::Fail("image: section alignment " + Hex(SectionAlignment) + " and file alignment " +
                     Hex(FileAlignment) + " must be one power of two to run in place");
  I.BaseOffset = static_cast<int64_t>(I.Section.DataOffset());
  I.Alignment = SectionAlignment;
  return I;
}

// The image of a stand-alone file.
sio::Result<ImageInFile> FindImage(std::span<const uint8_t> File) {
  auto Sections = pi::ListSections(File);
  if (!Sections)
    return Sections.Failure();
  return ImageAmong(File, *Sections);
}

// The image of a file as it lies in a volume (its state stored for the
// volume), or nothing when it carries none.
sio::Result<std::optional<ImageInFile>> ImageOfFileInVolume(std::span<const uint8_t> File,
                                                            const pi::FfsFileView& F) {
  auto Sections = pi::ParseSections(File.subspan(F.HeaderSize, F.DataSize()));
  if (!Sections)
    return Sections.Within("file " + pi::FormatGuid(F.Name));
  bool HasImage = false;
  for (pi::SectionView& S : *Sections) {
    S.Offset += F.HeaderSize;
    HasImage = HasImage || S.Type == pi::section_type::kPe32 || S.Type == pi::section_type::kTe;
  }
  if (!HasImage)
    return std::optional<ImageInFile>();
  auto Image = ImageAmong(File, *Sections, ImageCheck::FormatOnly);
  if (!Image)
    return Image.Within("file " + pi::FormatGuid(F.Name));
  return std::optional<ImageInFile>(*Image);
}

// The smallest offset at or after Free where the file can start: 8-aligned,
// its data and image aligned as asked, and the gap before it either empty or
// large enough for a pad file. Room is not considered here.
std::optional<size_t> Placement(size_t Free, size_t HeaderSize, size_t DataAlign,
                                const ImageInFile& Image, uint32_t VolumeAddress) {
  constexpr size_t kHeader = sizeof(pi::FfsFileHeader);
  const size_t Step = std::max<size_t>({DataAlign, Image.Alignment, pi::kFfsFileAlignment});
  for (size_t Offset = pi::AlignUp(Free, pi::kFfsFileAlignment);
       Offset <= Free + 2 * Step + kHeader; Offset += pi::kFfsFileAlignment) {
    const size_t Gap = Offset - Free;
    if (Gap != 0 && Gap < kHeader)
      continue;
    if ((Offset + HeaderSize) % DataAlign != 0)
      continue;
    const uint32_t Base = static_cast<uint32_t>(VolumeAddress + Offset + Image.BaseOffset);
    if (Base % Image.Alignment != 0)
      continue;
    return Offset;
  }
  return std::nullopt;
}

// Moves every file from Start on by Shift bytes (room for the new file in
// front of them), rebasing each image to where it will lie: the volume runs
// in place, so a moved image must be linked at its new address.
sio::Result<void> ShiftFiles(std::span<uint8_t> Volume, uint32_t VolumeAddress,
                             const pi::VolumeView& V, size_t Start, size_t Shift) {
  std::vector<uint8_t> Region(Volume.begin() + static_cast<ptrdiff_t>(Start),
                              Volume.begin() + static_cast<ptrdiff_t>(V.FreeOffset));
  for (const pi::FfsFileView& File : V.Files) {
    if (File.Offset < Start || File.Type == pi::file_type::kPad)
      continue;
    const auto Bytes = std::span<uint8_t>(Region).subspan(File.Offset - Start, File.Size);
    auto Image = ImageOfFileInVolume(Bytes, File);
    if (!Image)
      return Image.Failure();
    if (!*Image)
      continue;
    const ImageInFile& I = **Image;
    const auto NewBase = static_cast<uint32_t>(VolumeAddress + File.Offset + Shift + I.BaseOffset);
    const auto ImageBytes = Bytes.subspan(I.Section.DataOffset(), I.Section.DataSize());
    auto Rebased = I.Te ? pe::RebaseTe(ImageBytes, NewBase) : pe::RebasePe32(ImageBytes, NewBase);
    if (!Rebased)
      return Rebased.Within("file " + pi::FormatGuid(File.Name) + " cannot move");
    pi::SealFfsFile(Bytes, File.HeaderSize);
  }
  std::fill(Volume.begin() + static_cast<ptrdiff_t>(Start),
            Volume.begin() + static_cast<ptrdiff_t>(Start + Shift), V.ErasedByte());
  std::copy(Region.begin(), Region.end(), Volume.begin() + static_cast<ptrdiff_t>(Start + Shift));
  return {};
}

// Where the files to move start: the first PEIM, or the pad file that aligns
// it. Nothing when the volume has no PEIM.
std::optional<size_t> FirstPeimStart(const pi::VolumeView& V) {
  for (size_t I = 0; I < V.Files.size(); ++I) {
    if (V.Files[I].Type != pi::file_type::kPeim)
      continue;
    if (I > 0 && V.Files[I - 1].Type == pi::file_type::kPad)
      return V.Files[I - 1].Offset;
    return V.Files[I].Offset;
  }
  return std::nullopt;
}

// Bytes to move the files from Start on so that each keeps its data and
// image alignment and the new file (placed at Offset, Size bytes) fits in
// front of them, with a pad file filling any rest.
sio::Result<size_t> ShiftFor(std::span<const uint8_t> Volume, const pi::VolumeView& V, size_t Start,
                             size_t Offset, size_t Size) {
  constexpr size_t kHeader = sizeof(pi::FfsFileHeader);
  size_t Alignment = pi::kFfsFileAlignment;
  for (const pi::FfsFileView& File : V.Files) {
    if (File.Offset < Start)
      continue;
    Alignment = std::max<size_t>(Alignment, pi::DecodeDataAlignment(File.Attributes));
    if (File.Type == pi::file_type::kPad)
      continue;
    auto Image = ImageOfFileInVolume(Volume.subspan(File.Offset, File.Size), File);
    if (!Image)
      return Image.Failure();
    if (*Image)
      Alignment = std::max(Alignment, (*Image)->Alignment);
  }
  const size_t Used = pi::AlignUp(Offset + Size, pi::kFfsFileAlignment) - Start;
  size_t Shift = pi::AlignUp(Used, Alignment);
  while (Shift != Used && Shift - Used < kHeader)
    Shift += Alignment;
  return Shift;
}

} // namespace

sio::Result<Insertion> InsertPeim(std::span<uint8_t> Volume, uint32_t VolumeAddress,
                                  std::span<const uint8_t> FfsFile, InsertAt Where) {
  auto File = pi::ReadFfsFile(FfsFile);
  if (!File)
    return File.Within("firmware file");
  const pi::FfsFileView& F = *File;
  if (F.Type != pi::file_type::kPeim)
    return sio::Fail("firmware file: type " + Hex(F.Type) + " is not a PEIM (0x6)");
  auto Found = FindImage(FfsFile);
  if (!Found)
    return Found.Within("firmware file");
  const ImageInFile& Image = *Found;

  auto Parsed = pi::ParseVolume(Volume);
  if (!Parsed)
    return Parsed.Within("PEI volume");
  const pi::VolumeView& V = *Parsed;
  for (const pi::FfsFileView& Existing : V.Files)
    if (Existing.Name == F.Name)
      return sio::Fail(sio::ErrorKind::Refused,
                       "the PEI volume already holds a file named " + pi::FormatGuid(F.Name));
  std::optional<size_t> Ahead;
  if (Where == InsertAt::AheadOfPeims)
    Ahead = FirstPeimStart(V);
  const size_t Start = Ahead.value_or(V.FreeOffset);
  const auto Offset =
      Placement(Start, F.HeaderSize, pi::DecodeDataAlignment(F.Attributes), Image, VolumeAddress);
  if (!Offset)
    return sio::Fail("firmware file: its image lies at offset " + Hex(Image.Section.DataOffset()) +
                     " in the file, which no 8-aligned placement brings to the image's " +
                     Hex(Image.Alignment) + "-byte alignment");
  size_t Shift = 0;
  if (Ahead) {
    auto Needed = ShiftFor(Volume, V, Start, *Offset, F.Size);
    if (!Needed)
      return Needed.Within("PEI volume");
    Shift = *Needed;
  }
  if ((Ahead ? V.FreeOffset + Shift : *Offset + F.Size) > V.Length)
    return sio::Fail(sio::ErrorKind::Refused,
                     "the PEI volume has no room: " + Hex(V.Length - V.FreeOffset) +
                         " bytes free, the file needs " + Hex(Ahead ? Shift : F.Size) +
                         " plus alignment");

  // Build the file as it will lie in the volume, then commit it.
  std::vector<uint8_t> Placed(FfsFile.begin(), FfsFile.begin() + static_cast<ptrdiff_t>(F.Size));
  Insertion Result;
  Result.Name = F.Name;
  Result.FileOffset = *Offset;
  Result.PadSize = *Offset - Start;
  Result.FreeBefore = V.Length - V.FreeOffset;
  Result.Moved = Shift;
  Result.ImageAddress = static_cast<uint32_t>(VolumeAddress + *Offset + Image.BaseOffset);
  Result.Te = Image.Te;
  const auto Bytes =
      std::span<uint8_t>(Placed).subspan(Image.Section.DataOffset(), Image.Section.DataSize());
  auto Moved = Image.Te ? pe::RebaseTe(Bytes, Result.ImageAddress)
                        : pe::RebasePe32(Bytes, Result.ImageAddress);
  if (!Moved)
    return Moved.Within("firmware file's image");
  Result.Relocations = *Moved;
  pi::FfsFileHeader Header;
  pi::ReadRecord(Placed, 0, Header);
  Header.State = pi::StoredState(pi::file_state::kFinished, V.ErasePolarity);
  pi::WriteRecord(std::span<uint8_t>(Placed), 0, Header);
  pi::SealFfsFile(Placed, F.HeaderSize);

  if (Shift != 0) {
    if (auto Moved = ShiftFiles(Volume, VolumeAddress, V, Start, Shift); !Moved)
      return Moved.Within("PEI volume");
  }
  if (Result.PadSize != 0)
    pi::WritePadFile(Volume.subspan(Start, Result.PadSize), V.ErasePolarity);
  std::copy(Placed.begin(), Placed.end(), Volume.begin() + static_cast<ptrdiff_t>(*Offset));
  const size_t After = pi::AlignUp(*Offset + F.Size, pi::kFfsFileAlignment);
  if (Shift != 0 && Start + Shift != After)
    pi::WritePadFile(Volume.subspan(After, Start + Shift - After), V.ErasePolarity);
  pi::SealFvHeader(Volume);
  return Result;
}

} // namespace ovmf
