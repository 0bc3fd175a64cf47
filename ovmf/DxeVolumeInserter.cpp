// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/DxeVolumeInserter.h"

#include <algorithm>
#include <vector>

#include "common/Hex.h"
#include "pi/Checksum.h"
#include "pi/FirmwareVolume.h"

namespace ovmf {

using sio::Hex;

sio::Result<DriverInsertion> InsertDxeDriver(std::span<uint8_t> Volume,
                                             std::span<const uint8_t> FfsFile) {
  auto File = pi::ReadFfsFile(FfsFile);
  if (!File)
    return File.Within("firmware file");
  const pi::FfsFileView& F = *File;
  if (F.Type != pi::file_type::kDriver)
    return sio::Fail("firmware file: type " + Hex(F.Type) + " is not a DXE driver (0x7)");
  auto Sections = pi::ListSections(FfsFile);
  if (!Sections)
    return Sections.Within("firmware file");
  const auto Images =
      std::ranges::count(*Sections, pi::section_type::kPe32, &pi::SectionView::Type);
  if (Images != 1)
    return sio::Fail("firmware file: " + std::to_string(Images) + " PE32 sections, expected one");

  auto Parsed = pi::ParseVolume(Volume);
  if (!Parsed)
    return Parsed.Within("DXE volume");
  const pi::VolumeView& V = *Parsed;
  if (std::ranges::find(V.Files, F.Name, &pi::FfsFileView::Name) != V.Files.end())
    return sio::Fail(sio::ErrorKind::Refused,
                     "the DXE volume already holds a file named " + pi::FormatGuid(F.Name));

  // The data lies at a multiple of its alignment from the volume's start; a
  // gap in front of the header holds at least a pad file's header.
  constexpr size_t kHeader = sizeof(pi::FfsFileHeader);
  const size_t Align = pi::DecodeDataAlignment(F.Attributes);
  const size_t Start = pi::AlignUp(V.FreeOffset, pi::kFfsFileAlignment);
  size_t Data = Start + F.HeaderSize;
  if (Data % Align != 0)
    Data = pi::AlignUp(Start + kHeader + F.HeaderSize, Align);
  const size_t Offset = Data - F.HeaderSize;
  if (Offset + F.Size > V.Length)
    return sio::Fail(sio::ErrorKind::Refused,
                     "the DXE volume has no room: " + Hex(V.Length - V.FreeOffset) +
                         " bytes free, the file needs " + Hex(F.Size) + " plus alignment");

  std::vector<uint8_t> Placed(FfsFile.begin(), FfsFile.begin() + static_cast<ptrdiff_t>(F.Size));
  pi::FfsFileHeader Header;
  pi::ReadRecord(Placed, 0, Header);
  Header.State = pi::StoredState(pi::file_state::kFinished, V.ErasePolarity);
  pi::WriteRecord(std::span<uint8_t>(Placed), 0, Header);
  pi::SealFfsFile(Placed, F.HeaderSize);

  DriverInsertion Result;
  Result.Name = F.Name;
  Result.FileOffset = Offset;
  Result.FileSize = F.Size;
  Result.PadSize = Offset - Start;
  Result.FreeBefore = V.Length - V.FreeOffset;
  Result.FreeAfter =
      V.Length - std::min(V.Length, pi::AlignUp(Offset + F.Size, pi::kFfsFileAlignment));
  if (Result.PadSize != 0)
    pi::WritePadFile(Volume.subspan(Start, Result.PadSize), V.ErasePolarity);
  std::ranges::copy(Placed, Volume.begin() + static_cast<ptrdiff_t>(Offset));
  pi::SealFvHeader(Volume);
  return Result;
}

} // namespace ovmf
