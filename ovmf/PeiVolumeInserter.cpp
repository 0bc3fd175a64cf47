#include "ovmf/PeiVolumeInserter.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "ovmf/FirmwareError.h"
#include "ovmf/FirmwareVolume.h"
#include "ovmf/PiChecksum.h"
#include "pe/PeRebase.h"

namespace ovmf {
namespace {

std::string Hex(size_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%zX", Value);
  return Text;
}

// The file's image, PE32 or TE, and what placing it needs.
struct ImageInFile {
  SectionView Section; // offset relative to the file
  bool Te = false;
  int64_t BaseOffset = 0; // where RVA 0 lies, relative to the file
  size_t Alignment = 0;   // of RVA 0's address
  size_t Relocations = 0;
};

ImageInFile FindImage(std::span<const uint8_t> File, const FfsFileView& F) {
  const auto Data = File.subspan(F.HeaderSize, F.Size - F.HeaderSize);
  std::vector<SectionView> Images;
  for (const SectionView& S : ParseSections(Data, "firmware file"))
    if (S.Type == kSectionPe32 || S.Type == kSectionTe)
      Images.push_back(S);
  if (Images.size() != 1)
    throw FirmwareError("firmware file: " + std::to_string(Images.size()) +
                        " PE32/TE sections, expected one");
  ImageInFile I;
  I.Section = Images[0];
  I.Section.Offset += F.HeaderSize;
  I.Te = I.Section.Type == kSectionTe;
  const auto Bytes = File.subspan(I.Section.DataOffset(), I.Section.DataSize());
  try {
    if (I.Te) {
      const pe::TeInfo Te = pe::ReadTe(Bytes);
      I.BaseOffset =
          static_cast<int64_t>(I.Section.DataOffset() + pe::kTeHeaderSize) - Te.StrippedSize;
      // A TE header keeps no alignment; the file's data alignment carries it.
      I.Alignment = 1;
      I.Relocations = Te.Relocations;
      return I;
    }
    const pe::Pe32Info Pe = pe::ReadPe32(Bytes);
    if (Pe.SectionAlignment != Pe.FileAlignment || Pe.SectionAlignment == 0 ||
        (Pe.SectionAlignment & (Pe.SectionAlignment - 1)) != 0)
      throw FirmwareError("firmware file's image: section alignment " + Hex(Pe.SectionAlignment) +
                          " and file alignment " + Hex(Pe.FileAlignment) +
                          " must be one power of two to run in place");
    I.BaseOffset = static_cast<int64_t>(I.Section.DataOffset());
    I.Alignment = Pe.SectionAlignment;
    I.Relocations = Pe.Relocations;
    return I;
  } catch (const pe::PeError& Error) {
    throw FirmwareError(std::string("firmware file's image: ") + Error.what());
  }
}

// The smallest offset at or after Free where the file can start: 8-aligned,
// its data and image aligned as asked, and the gap before it either empty or
// large enough for a pad file. Room is not considered here.
std::optional<size_t> Placement(size_t Free, size_t HeaderSize, size_t DataAlign,
                                const ImageInFile& Image, uint32_t VolumeAddress) {
  const size_t Step = std::max<size_t>({DataAlign, Image.Alignment, kFfsAlignment});
  for (size_t Offset = AlignUp(Free, kFfsAlignment); Offset <= Free + 2 * Step + kFfsHeaderSize;
       Offset += kFfsAlignment) {
    const size_t Gap = Offset - Free;
    if (Gap != 0 && Gap < kFfsHeaderSize)
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

void WritePadFile(std::span<uint8_t> At, bool ErasePolarity) {
  std::fill(At.begin(), At.end(), ErasePolarity ? 0xFF : 0x00);
  std::fill_n(At.begin(), 16, 0xFF); // pad files carry no name
  At[kFfsTypeOffset] = kFileTypePad;
  At[kFfsAttributesOffset] = 0;
  Store24(&At[kFfsSizeOffset], static_cast<uint32_t>(At.size()));
  At[kFfsStateOffset] = StoredValidState(ErasePolarity);
  SealFfsFile(At, kFfsHeaderSize);
}

// Moves every file from Start on by Shift bytes (room for the new file in
// front of them), rebasing each image to where it will lie: the volume runs
// in place, so a moved image must be linked at its new address.
void ShiftFiles(std::span<uint8_t> Volume, uint32_t VolumeAddress, const VolumeView& V,
                size_t Start, size_t Shift) {
  std::vector<uint8_t> Region(Volume.begin() + Start, Volume.begin() + V.FreeOffset);
  for (const FfsFileView& File : V.Files) {
    if (File.Offset < Start || File.Type == kFileTypePad)
      continue;
    const auto Bytes = std::span<uint8_t>(Region).subspan(File.Offset - Start, File.Size);
    FfsFileView Own = File; // as checked by ParseVolume, relative to the file
    Own.Offset = 0;
    bool HasImage = false;
    for (const SectionView& S : ParseSections(Bytes.subspan(Own.HeaderSize), "moved file"))
      HasImage = HasImage || S.Type == kSectionPe32 || S.Type == kSectionTe;
    if (!HasImage)
      continue;
    const ImageInFile Image = FindImage(Bytes, Own);
    const auto NewBase =
        static_cast<uint32_t>(VolumeAddress + File.Offset + Shift + Image.BaseOffset);
    const auto ImageBytes = Bytes.subspan(Image.Section.DataOffset(), Image.Section.DataSize());
    try {
      if (Image.Te)
        pe::RebaseTe(ImageBytes, NewBase);
      else
        pe::RebasePe32(ImageBytes, NewBase);
    } catch (const pe::PeError& Error) {
      throw FirmwareError("file " + FormatGuid(File.Name) + " cannot move: " + Error.what());
    }
    SealFfsFile(Bytes, Own.HeaderSize);
  }
  std::fill(Volume.begin() + Start, Volume.begin() + Start + Shift, V.ErasedByte());
  std::copy(Region.begin(), Region.end(), Volume.begin() + Start + Shift);
}

// Where the files to move start: the first PEIM, or the pad file that aligns
// it. Nothing when the volume has no PEIM.
std::optional<size_t> FirstPeimStart(const VolumeView& V) {
  for (size_t I = 0; I < V.Files.size(); ++I) {
    if (V.Files[I].Type != kFileTypePeim)
      continue;
    if (I > 0 && V.Files[I - 1].Type == kFileTypePad)
      return V.Files[I - 1].Offset;
    return V.Files[I].Offset;
  }
  return std::nullopt;
}

// Bytes to move the files from Start on so that each keeps its data and
// image alignment and the new file (placed at Offset, Size bytes) fits in
// front of them, with a pad file filling any rest.
size_t ShiftFor(std::span<const uint8_t> Volume, const VolumeView& V, size_t Start, size_t Offset,
                size_t Size) {
  size_t Alignment = kFfsAlignment;
  for (const FfsFileView& File : V.Files) {
    if (File.Offset < Start)
      continue;
    Alignment = std::max(Alignment, FfsDataAlignment(File.Attributes));
    if (File.Type == kFileTypePad)
      continue;
    const auto Bytes = Volume.subspan(File.Offset, File.Size);
    FfsFileView Own = File;
    Own.Offset = 0;
    for (const SectionView& S : ParseSections(Bytes.subspan(Own.HeaderSize), "file"))
      if (S.Type == kSectionPe32 || S.Type == kSectionTe)
        Alignment = std::max(Alignment, FindImage(Bytes, Own).Alignment);
  }
  const size_t Used = AlignUp(Offset + Size, kFfsAlignment) - Start;
  size_t Shift = AlignUp(Used, Alignment);
  while (Shift != Used && Shift - Used < kFfsHeaderSize)
    Shift += Alignment;
  return Shift;
}

} // namespace

Insertion InsertPeim(std::span<uint8_t> Volume, uint32_t VolumeAddress,
                     std::span<const uint8_t> FfsFile, InsertAt Where) {
  const FfsFileView F = ParseFfsFile(FfsFile, "firmware file");
  if (F.Type != kFileTypePeim)
    throw FirmwareError("firmware file: type " + Hex(F.Type) + " is not a PEIM (0x6)");
  const ImageInFile Image = FindImage(FfsFile, F);

  const VolumeView V = ParseVolume(Volume, "PEI volume");
  for (const FfsFileView& Existing : V.Files)
    if (Existing.Name == F.Name)
      throw FirmwareError("the PEI volume already holds a file named " + FormatGuid(F.Name));
  std::optional<size_t> Ahead;
  if (Where == InsertAt::AheadOfPeims)
    Ahead = FirstPeimStart(V);
  const size_t Start = Ahead.value_or(V.FreeOffset);
  const auto Offset =
      Placement(Start, F.HeaderSize, FfsDataAlignment(F.Attributes), Image, VolumeAddress);
  if (!Offset)
    throw FirmwareError("firmware file: its image lies at offset " +
                        Hex(Image.Section.DataOffset()) +
                        " in the file, which no 8-aligned placement brings to the image's " +
                        Hex(Image.Alignment) + "-byte alignment");
  const size_t Shift = Ahead ? ShiftFor(Volume, V, Start, *Offset, F.Size) : 0;
  if ((Ahead ? V.FreeOffset + Shift : *Offset + F.Size) > V.Length)
    throw FirmwareError("the PEI volume has no room: " + Hex(V.Length - V.FreeOffset) +
                        " bytes free, the file needs " + Hex(Ahead ? Shift : F.Size) +
                        " plus alignment");

  // Build the file as it will lie in the volume, then commit it.
  std::vector<uint8_t> Placed(FfsFile.begin(), FfsFile.begin() + F.Size);
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
  Result.Relocations = Image.Te ? pe::RebaseTe(Bytes, Result.ImageAddress)
                                : pe::RebasePe32(Bytes, Result.ImageAddress);
  Placed[kFfsStateOffset] = StoredValidState(V.ErasePolarity);
  SealFfsFile(Placed, F.HeaderSize);

  if (Shift != 0)
    ShiftFiles(Volume, VolumeAddress, V, Start, Shift);
  if (Result.PadSize != 0)
    WritePadFile(Volume.subspan(Start, Result.PadSize), V.ErasePolarity);
  std::copy(Placed.begin(), Placed.end(), Volume.begin() + *Offset);
  const size_t After = AlignUp(*Offset + F.Size, kFfsAlignment);
  if (Shift != 0 && Start + Shift != After)
    WritePadFile(Volume.subspan(After, Start + Shift - After), V.ErasePolarity);
  SealFvHeader(Volume);
  return Result;
}

} // namespace ovmf
