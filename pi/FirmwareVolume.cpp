// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/FirmwareVolume.h"

#include <algorithm>
#include <bit>

#include "common/Hex.h"
#include "pi/Checksum.h"
#include "pi/FfsFile.h"

namespace pi {
namespace {

using sio::Hex;

// Read, write and lock capabilities and status, sticky write, memory mapped.
constexpr uint32_t kVolumeAccessAttributes = 0x0000F6FF;

} // namespace

sio::Result<VolumeView> ParseVolume(std::span<const uint8_t> Bytes) {
  FvHeader H;
  if (Bytes.size() < kFvMinHeaderLength || !ReadRecord(Bytes, 0, H))
    return sio::Fail("too small for a volume header");
  if (H.Signature != kFvSignature)
    return sio::Fail("no firmware volume signature (_FVH)");
  if (H.FileSystemGuid != kFfs2FileSystemGuid && H.FileSystemGuid != kFfs3FileSystemGuid)
    return sio::Fail("file system " + FormatGuid(H.FileSystemGuid) + " is not FFS2/FFS3");
  VolumeView V;
  const uint64_t Length = H.FvLength;
  V.HeaderLength = H.HeaderLength;
  if (Length > Bytes.size() || V.HeaderLength < kFvMinHeaderLength || V.HeaderLength > Length ||
      V.HeaderLength % 2 != 0)
    return sio::Fail("volume length " + Hex(Length) + " or header length " + Hex(V.HeaderLength) +
                     " does not fit the " + Hex(Bytes.size()) + " bytes");
  V.Length = static_cast<size_t>(Length);
  if (FvHeaderChecksum(Bytes.first(V.HeaderLength)) != H.Checksum)
    return sio::Fail("bad volume header checksum");
  V.Attributes = H.Attributes;
  V.ErasePolarity = (V.Attributes & kFvbErasePolarity) != 0;
  const uint8_t Erased = V.ErasedByte();
  size_t Offset = AlignUp(V.HeaderLength, kFfsFileAlignment);
  while (Offset + sizeof(FfsFileHeader) <= V.Length) {
    const auto Header = Bytes.subspan(Offset, sizeof(FfsFileHeader));
    if (std::all_of(Header.begin(), Header.end(), [&](uint8_t B) { return B == Erased; }))
      break;
    auto F = ReadFileAt(Bytes.first(V.Length), Offset, V.Length - Offset);
    if (!F)
      return F.Failure();
    V.Files.push_back(*F);
    Offset = AlignUp(Offset + F->Size, kFfsFileAlignment);
  }
  V.FreeOffset = std::min(Offset, V.Length);
  const auto Rest = Bytes.subspan(V.FreeOffset, V.Length - V.FreeOffset);
  const auto Stray = std::find_if(Rest.begin(), Rest.end(), [&](uint8_t B) { return B != Erased; });
  if (Stray != Rest.end())
    return sio::Fail("data at " + Hex(V.FreeOffset + (Stray - Rest.begin())) +
                     " inside the free space");
  return V;
}

sio::Result<void> CheckBlockSize(uint32_t BlockSize) {
  if (!std::has_single_bit(BlockSize) || BlockSize < 8)
    return sio::Fail("block size " + std::to_string(BlockSize) + " is not a power of two >= 8");
  if (BlockSize > kMaxBuiltVolumeSize)
    return sio::Fail("block size " + std::to_string(BlockSize) + " (" + Hex(BlockSize) +
                     ") is larger than the largest volume, " + Hex(kMaxBuiltVolumeSize) +
                     " bytes (16 MiB, the largest flash a platform maps)");
  return {};
}

sio::Result<BuiltVolume> BuildFirmwareVolume(const std::vector<std::vector<uint8_t>>& Files,
                                             const VolumeOptions& Options) {
  if (auto Block = CheckBlockSize(Options.BlockSize); !Block)
    return Block.Failure();
  const auto NameOf = [&Options](size_t I) {
    return I < Options.FileNames.size() ? Options.FileNames[I] : "file " + std::to_string(I + 1);
  };
  // Every size the volume reaches is checked before the bytes are made.
  const auto TooLarge = [](uint64_t Size) -> sio::Result<void> {
    return sio::Fail("the volume would be " + Hex(Size) + " bytes, larger than " +
                     Hex(kMaxBuiltVolumeSize) + " (16 MiB, the largest flash a platform maps)");
  };
  const uint8_t Erase = Options.ErasePolarity ? 0xFF : 0x00;
  BuiltVolume Out;
  std::vector<uint8_t>& V = Out.Bytes;
  V.assign(kFvMinHeaderLength, 0);
  uint32_t VolumeAlignment = kFfsFileAlignment;
  std::vector<std::pair<Guid, size_t>> Names; // each file's name and place
  for (size_t I = 0; I < Files.size(); ++I) {
    const std::vector<uint8_t>& File = Files[I];
    const auto Info = ReadFfsFile(File);
    if (!Info)
      return Info.Within(NameOf(I));
    // Files of these types are made of sections: each must lie inside the file.
    if (Info->Type >= kFirstSectionedFileType && Info->Type <= kLastSectionedFileType)
      if (auto Sections = ListSections(File); !Sections)
        return Sections.Within(NameOf(I));
    // A reader finds a file by its name; a second file of that name would never be found.
    if (Info->Type != file_type::kPad) {
      const auto Earlier = std::ranges::find(Names, Info->Name, &std::pair<Guid, size_t>::first);
      if (Earlier != Names.end())
        return sio::Fail(sio::ErrorKind::Refused, NameOf(I) + ": named " + FormatGuid(Info->Name) +
                                                      ", as " + NameOf(Earlier->second) + " is");
      Names.emplace_back(Info->Name, I);
    }
    const uint32_t DataAlignment = DecodeDataAlignment(Info->Attributes);
    size_t Start = AlignUp(V.size(), kFfsFileAlignment);
    // The pad file in front (when the data is not aligned) holds at least its own header.
    const uint64_t Data = (Start + sizeof(FfsFileHeader)) % DataAlignment != 0
                              ? AlignUp(Start + 2 * sizeof(FfsFileHeader), DataAlignment)
                              : Start + sizeof(FfsFileHeader);
    if (Data - sizeof(FfsFileHeader) + Info->Size > kMaxBuiltVolumeSize)
      return TooLarge(Data - sizeof(FfsFileHeader) + Info->Size).Within(NameOf(I));
    V.resize(Start, Erase);
    if (Data != Start + sizeof(FfsFileHeader)) {
      V.resize(Data - sizeof(FfsFileHeader));
      WritePadFile(std::span<uint8_t>(V).subspan(Start), Options.ErasePolarity);
      Start = V.size();
    }
    Out.FileOffsets.push_back(Start);
    V.insert(V.end(), File.begin(), File.begin() + static_cast<ptrdiff_t>(Info->Size));
    FfsFileHeader H;
    ReadRecord(V, Start, H);
    H.State = StoredState(H.State, Options.ErasePolarity);
    WriteRecord(std::span<uint8_t>(V), Start, H);
    VolumeAlignment = std::max(VolumeAlignment, DataAlignment);
  }
  if (AlignUp(V.size(), Options.BlockSize) > kMaxBuiltVolumeSize)
    return TooLarge(AlignUp(V.size(), Options.BlockSize)).Failure();
  V.resize(AlignUp(V.size(), Options.BlockSize), Erase);

  FvHeader H{};
  H.FileSystemGuid = kFfs2FileSystemGuid;
  H.FvLength = V.size();
  H.Signature = kFvSignature;
  H.Attributes = kVolumeAccessAttributes |
                 static_cast<uint32_t>(std::countr_zero(VolumeAlignment)) << kFvbAlignmentShift |
                 (Options.ErasePolarity ? kFvbErasePolarity : 0);
  H.HeaderLength = static_cast<uint16_t>(kFvMinHeaderLength);
  H.Revision = kFvRevision;
  WriteRecord(std::span<uint8_t>(V), 0, H);
  FvBlockMapEntry Run{};
  Run.NumBlocks = static_cast<uint32_t>(V.size() / Options.BlockSize);
  Run.Length = Options.BlockSize;
  WriteRecord(std::span<uint8_t>(V), sizeof H, Run); // the zero terminator follows
  SealFvHeader(V);
  return Out;
}

} // namespace pi
