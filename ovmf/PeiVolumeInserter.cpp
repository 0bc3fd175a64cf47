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

sio::Result<ImageInFile> FindImage(std::span<const uint8_t> File) {
  auto Sections = pi::ListSections(File);
  if (!Sections)
    return Sections.Failure();
  std::vector<pi::SectionView> Images;
  for (const pi::SectionView& S : *Sections)
    if (S.Type == pi::section_type::kPe32 || S.Type == pi::section_type::kTe)
      Images.push_back(S);
  if (Images.size() != 1)
    return sio::Fail(std::to_string(Images.size()) + " PE32/TE sections, expected one");
  ImageInFile I;
  I.Section = Images[0];
  I.Te = I.Section.Type == pi::section_type::kTe;
  const auto Bytes = File.subspan(I.Section.DataOffset(), I.Section.DataSize());
  if (I.Te) {
    auto Te = pe::ValidateTeImage(Bytes);
    if (!Te)
      return Te.Within("image");
    I.BaseOffset =
        static_cast<int64_t>(I.Section.DataOffset() + pi::kTeHeaderSize) - Te->StrippedSize;
    // A TE header keeps no alignment; the file's data alignment carries it.
    I.Alignment = 1;
    return I;
  }
  auto Pe = pe::ValidatePe32Image(Bytes);
  if (!Pe)
    return Pe.Within("image");
  if (Pe->SectionAlignment != Pe->FileAlignment)
    return sio::Fail("image: section alignment " + Hex(Pe->SectionAlignment) +
                     " and file alignment " + Hex(Pe->FileAlignment) +
                     " must be one power of two to run in place");
  I.BaseOffset = static_cast<int64_t>(I.Section.DataOffset());
  I.Alignment = Pe->SectionAlignment;
  return I;
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

} // namespace

sio::Result<Insertion> InsertPeim(std::span<uint8_t> Volume, uint32_t VolumeAddress,
                                  std::span<const uint8_t> FfsFile) {
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
      return sio::Fail("the PEI volume already holds a file named " + pi::FormatGuid(F.Name));
  const auto Offset = Placement(V.FreeOffset, F.HeaderSize, pi::DecodeDataAlignment(F.Attributes),
                                Image, VolumeAddress);
  if (!Offset)
    return sio::Fail("firmware file: its image lies at offset " + Hex(Image.Section.DataOffset()) +
                     " in the file, which no 8-aligned placement brings to the image's " +
                     Hex(Image.Alignment) + "-byte alignment");
  if (*Offset + F.Size > V.Length)
    return sio::Fail("the PEI volume has no room: " + Hex(V.Length - V.FreeOffset) +
                     " bytes free, the file needs " + Hex(F.Size) + " plus alignment");

  // Build the file as it will lie in the volume, then commit it.
  std::vector<uint8_t> Placed(FfsFile.begin(), FfsFile.begin() + static_cast<ptrdiff_t>(F.Size));
  Insertion Result;
  Result.Name = F.Name;
  Result.FileOffset = *Offset;
  Result.PadSize = *Offset - V.FreeOffset;
  Result.FreeBefore = V.Length - V.FreeOffset;
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

  if (Result.PadSize != 0)
    pi::WritePadFile(Volume.subspan(V.FreeOffset, Result.PadSize), V.ErasePolarity);
  std::copy(Placed.begin(), Placed.end(), Volume.begin() + static_cast<ptrdiff_t>(*Offset));
  pi::SealFvHeader(Volume);
  return Result;
}

} // namespace ovmf
