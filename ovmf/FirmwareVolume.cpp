#include "ovmf/FirmwareVolume.h"

#include <algorithm>
#include <cstdio>

#include "ovmf/FirmwareError.h"
#include "ovmf/PiChecksum.h"
#include "packaging/FfsFile.h"

namespace ovmf {
namespace {

std::string Hex(size_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%zX", Value);
  return Text;
}

// The file header at Offset of Bytes (Limit bytes available from there).
FfsFileView ReadFileHeader(std::span<const uint8_t> Bytes, size_t Offset, size_t Limit,
                           const std::string& What) {
  const std::string Where = What + ": file at " + Hex(Offset);
  if (Limit < kFfsHeaderSize)
    throw FirmwareError(Where + " is cut short");
  const uint8_t* H = &Bytes[Offset];
  FfsFileView F;
  F.Offset = Offset;
  F.Name = GuidAt(H);
  F.Type = H[kFfsTypeOffset];
  F.Attributes = H[kFfsAttributesOffset];
  F.State = H[kFfsStateOffset];
  F.HeaderSize = kFfsHeaderSize;
  F.Size = Load24(&H[kFfsSizeOffset]);
  if (F.Attributes & kFfsAttribLargeFile) {
    if (Limit < kFfsHeader2Size)
      throw FirmwareError(Where + " is cut short");
    F.HeaderSize = kFfsHeader2Size;
    const uint64_t Extended = Load64(&H[kFfsHeaderSize]);
    if (Extended > Limit)
      throw FirmwareError(Where + " runs past the end");
    F.Size = static_cast<size_t>(Extended);
  }
  if (F.Size < F.HeaderSize)
    throw FirmwareError(Where + " has a size smaller than its header");
  if (F.Size > Limit)
    throw FirmwareError(Where + " runs past the end (" + Hex(F.Size) + " bytes)");
  const auto Header = Bytes.subspan(Offset, F.HeaderSize);
  if (FfsHeaderChecksum(Header) != H[kFfsHeaderChecksumOffset])
    throw FirmwareError(Where + " (" + FormatGuid(F.Name) + ") has a bad header checksum");
  const auto Data = Bytes.subspan(Offset + F.HeaderSize, F.Size - F.HeaderSize);
  if (F.Attributes & kFfsAttribChecksum) {
    if (FfsDataChecksum(Data) != H[kFfsFileChecksumOffset])
      throw FirmwareError(Where + " (" + FormatGuid(F.Name) + ") has a bad file checksum");
  } else if (H[kFfsFileChecksumOffset] != kFfsFixedChecksum) {
    throw FirmwareError(Where + " (" + FormatGuid(F.Name) + ") has no file checksum but not 0xAA");
  }
  return F;
}

} // namespace

size_t FfsDataAlignment(uint8_t Attributes) {
  static constexpr size_t Small[] = {8, 16, 128, 512, 1024, 4096, 32768, 65536};
  const unsigned Code = (Attributes >> 3) & 7;
  if (Attributes & kFfsAttribDataAlignment2)
    return size_t{128 * 1024} << Code;
  return Small[Code];
}

uint8_t StoredValidState(bool ErasePolarity) {
  return ErasePolarity ? static_cast<uint8_t>(~kFfsStateValid) : kFfsStateValid;
}

std::string FormatGuid(const Guid& G) {
  char Text[40];
  std::snprintf(Text, sizeof Text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", G[3], G[2],
                G[1], G[0], G[5], G[4], G[7], G[6], G[8], G[9], G[10], G[11], G[12], G[13], G[14],
                G[15]);
  return Text;
}

VolumeView ParseVolume(std::span<const uint8_t> Bytes, const std::string& What) {
  if (Bytes.size() < kFvMinHeaderLength)
    throw FirmwareError(What + ": too small for a volume header");
  if (Load32(&Bytes[kFvSignatureOffset]) != kFvSignature)
    throw FirmwareError(What + ": no firmware volume signature (_FVH)");
  const Guid FileSystem = GuidAt(&Bytes[0x10]);
  if (FileSystem != kFfs2Guid && FileSystem != kFfs3Guid)
    throw FirmwareError(What + ": file system " + FormatGuid(FileSystem) + " is not FFS2/FFS3");
  VolumeView V;
  const uint64_t Length = Load64(&Bytes[kFvLengthOffset]);
  V.HeaderLength = Load16(&Bytes[kFvHeaderLengthOffset]);
  if (Length > Bytes.size() || V.HeaderLength < kFvMinHeaderLength || V.HeaderLength > Length ||
      V.HeaderLength % 2 != 0)
    throw FirmwareError(What + ": volume length " + Hex(Length) + " or header length " +
                        Hex(V.HeaderLength) + " does not fit the " + Hex(Bytes.size()) + " bytes");
  V.Length = static_cast<size_t>(Length);
  if (FvHeaderChecksum(Bytes.first(V.HeaderLength)) != Load16(&Bytes[kFvChecksumOffset]))
    throw FirmwareError(What + ": bad volume header checksum");
  V.Attributes = Load32(&Bytes[kFvAttributesOffset]);
  V.ErasePolarity = (V.Attributes & kFvErasePolarity) != 0;
  const uint8_t Erased = V.ErasedByte();
  size_t Offset = AlignUp(V.HeaderLength, kFfsAlignment);
  while (Offset + kFfsHeaderSize <= V.Length) {
    const auto Header = Bytes.subspan(Offset, kFfsHeaderSize);
    if (std::all_of(Header.begin(), Header.end(), [&](uint8_t B) { return B == Erased; }))
      break;
    const FfsFileView F = ReadFileHeader(Bytes, Offset, V.Length - Offset, What);
    V.Files.push_back(F);
    Offset = AlignUp(Offset + F.Size, kFfsAlignment);
  }
  V.FreeOffset = std::min(Offset, V.Length);
  const auto Rest = Bytes.subspan(V.FreeOffset, V.Length - V.FreeOffset);
  const auto Stray = std::find_if(Rest.begin(), Rest.end(), [&](uint8_t B) { return B != Erased; });
  if (Stray != Rest.end())
    throw FirmwareError(What + ": data at " + Hex(V.FreeOffset + (Stray - Rest.begin())) +
                        " inside the free space");
  return V;
}

FfsFileView ParseFfsFile(std::span<const uint8_t> Bytes, const std::string& What) {
  // A stand-alone file is held to the rules its packaging writes it by.
  try {
    packaging::ReadFfsFile(Bytes);
  } catch (const std::exception& Error) {
    throw FirmwareError(What + ": " + Error.what());
  }
  FfsFileView F = ReadFileHeader(Bytes, 0, Bytes.size(), What);
  // A build may pad the file to 8 bytes; anything longer is not one file.
  if (AlignUp(F.Size, kFfsAlignment) < Bytes.size())
    throw FirmwareError(What + ": " + Hex(Bytes.size()) + " bytes but the file header says " +
                        Hex(F.Size));
  return F;
}

std::vector<SectionView> ParseSections(std::span<const uint8_t> Bytes, const std::string& What) {
  std::vector<SectionView> Sections;
  size_t Offset = 0;
  while (Offset < Bytes.size()) {
    const std::string Where = What + ": section at " + Hex(Offset);
    if (Bytes.size() - Offset < kSectionHeaderSize)
      throw FirmwareError(Where + " is cut short");
    SectionView S;
    S.Offset = Offset;
    S.Type = Bytes[Offset + 3];
    S.Size = Load24(&Bytes[Offset]);
    S.HeaderSize = kSectionHeaderSize;
    if (S.Size == kMaxSectionSize) {
      if (Bytes.size() - Offset < kSectionHeader2Size)
        throw FirmwareError(Where + " is cut short");
      S.HeaderSize = kSectionHeader2Size;
      S.Size = Load32(&Bytes[Offset + 4]);
    }
    if (S.Size < S.HeaderSize || S.Size > Bytes.size() - Offset)
      throw FirmwareError(Where + " has a size (" + Hex(S.Size) + ") that does not fit");
    Sections.push_back(S);
    Offset = AlignUp(Offset + S.Size, kSectionAlignment);
  }
  return Sections;
}

} // namespace ovmf
