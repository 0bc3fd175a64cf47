// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/FirmwareVolume.h"

#include <algorithm>
#include <bit>

#include "common/Hex.h"
#include "pi/Checksum.h"

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

sio::Result<BuiltVolume> BuildFirmwareVolume(const std::vector<std::vector<uint8_t>>& Files,
                                             const VolumeOptions& Options) {
  if (!std::has_single_bit(Options.BlockSize) || Options.BlockSize < 8)
    return sio::Fail("block size " + std::to_string(Options.BlockSize) +
                     " is not a power of two >= 8");
  const uint8_t Erase = Options.ErasePolarity ? 0xFF : 0x00;
  BuiltVolume Out;
  std::vector<uint8_t>& V = Out.Bytes;
  V.assign(kFvMinHeaderLength, 0);
  uint32_t VolumeAlignment = kFfsFileAlignment;
  std::vector<Guid> Names;
  for (size_t I = 0; I < Files.size(); ++I) {
    const std::vector<uint8_t>& File = Files[I];
    const auto Info = ReadFfsFile(File);
    if (!Info)
      return Info.Within("file " + std::to_string(I + 1));
    // A reader finds a file by its name; a second file of that name would never be found.
    if (Info->Type != file_type::kPad) {
      if (std::find(Names.begin(), Names.end(), Info->Name) != Names.end())
        return sio::Fail(sio::ErrorKind::Refused, "two files named " + FormatGuid(Info->Name));
      Names.push_back(Info->Name);
    }
    const uint32_t DataAlignment = DecodeDataAlignment(Info->Attributes);
    size_t Start = AlignUp(V.size(), kFfsFileAlignment);
    V.resize(Start, Erase);
    if ((Start + sizeof(FfsFileHeader)) % DataAlignment != 0) {
      // The pad file must hold at least its own header.
      const size_t Data = AlignUp(Start + 2 * sizeof(FfsFileHeader), DataAlignment);
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
