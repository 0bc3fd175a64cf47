// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/FfsFile.h"

#include <algorithm>
#include <bit>

#include "common/Hex.h"
#include "pi/Checksum.h"

namespace pi {
namespace {

using sio::Hex;

// Data alignments the attribute bits can declare, by code (bits 5:3), without
// and with FFS_ATTRIB_DATA_ALIGNMENT_2.
constexpr uint32_t kAlignmentByCode[2][8] = {
    {1, 16, 128, 512, 1024, 4096, 32768, 65536},
    {128u << 10, 256u << 10, 512u << 10, 1u << 20, 2u << 20, 4u << 20, 8u << 20, 16u << 20}};

} // namespace

sio::Result<DataAlignment> EncodeDataAlignment(uint32_t Alignment) {
  if (!std::has_single_bit(Alignment) || Alignment > kAlignmentByCode[1][7])
    return sio::Fail("data alignment " + std::to_string(Alignment) +
                     " is not a power of two up to 16 MiB");
  for (uint8_t Large = 0; Large < 2; ++Large) {
    for (uint8_t Code = 0; Code < 8; ++Code) {
      // Code 0 means no more than the 8 bytes every file start has anyway.
      const uint32_t Bytes = std::max<uint32_t>(kAlignmentByCode[Large][Code], 8);
      if (Bytes >= Alignment)
        return DataAlignment{
            Bytes, static_cast<uint8_t>(Code << 3 | (Large ? file_attr::kDataAlignment2 : 0))};
    }
  }
  return sio::Fail("data alignment beyond the table"); // not reached: 16 MiB is in it
}

uint32_t DecodeDataAlignment(uint8_t Attributes) {
  const uint32_t Bytes = kAlignmentByCode[(Attributes & file_attr::kDataAlignment2) ? 1 : 0]
                                         [(Attributes & file_attr::kDataAlignmentMask) >> 3];
  return std::max<uint32_t>(Bytes, 8);
}

sio::Result<FfsFileView> ReadFileAt(std::span<const uint8_t> Bytes, size_t Offset, size_t Limit) {
  const std::string Where = "file at " + Hex(Offset);
  FfsFileHeader2 H{};
  if (Limit < sizeof(FfsFileHeader) || !ReadRecord(Bytes, Offset, H.Base))
    return sio::Fail(Where + " is cut short");
  FfsFileView F;
  F.Offset = Offset;
  F.Name = H.Base.Name;
  F.Type = H.Base.Type;
  F.Attributes = H.Base.Attributes;
  F.State = H.Base.State;
  F.HeaderSize = sizeof(FfsFileHeader);
  F.Size = H.Base.Size;
  if (F.Attributes & file_attr::kLargeFile) {
    if (Limit < sizeof(FfsFileHeader2) || !ReadRecord(Bytes, Offset, H))
      return sio::Fail(Where + " is cut short");
    F.HeaderSize = sizeof(FfsFileHeader2);
    if (H.ExtendedSize > Limit)
      return sio::Fail(Where + " runs past the end");
    F.Size = static_cast<size_t>(H.ExtendedSize);
  }
  if (F.Size < F.HeaderSize)
    return sio::Fail(Where + " has a size smaller than its header");
  if (F.Size > Limit || F.Size > Bytes.size() - Offset)
    return sio::Fail(Where + ": size field " + Hex(F.Size) + " does not fit the " + Hex(Limit) +
                     " bytes there");
  if (FfsHeaderChecksum(Bytes.subspan(Offset, F.HeaderSize)) != H.Base.HeaderChecksum)
    return sio::Fail(Where + " (" + FormatGuid(F.Name) + ") has a bad header checksum");
  const auto Data = Bytes.subspan(F.DataOffset(), F.DataSize());
  if (F.Attributes & file_attr::kChecksum) {
    if (Checksum8(Data) != H.Base.FileChecksum)
      return sio::Fail(Where + " (" + FormatGuid(F.Name) + ") has a bad data checksum");
  } else if (H.Base.FileChecksum != kFfsFixedChecksum) {
    return sio::Fail(Where + " (" + FormatGuid(F.Name) +
                     ") has a data checksum that is not 0xAA while FFS_ATTRIB_CHECKSUM is clear");
  }
  return F;
}

sio::Result<FfsFileView> ReadFfsFile(std::span<const uint8_t> Bytes) {
  auto F = ReadFileAt(Bytes, 0, Bytes.size());
  if (!F)
    return F.Failure();
  if (F->HeaderSize != sizeof(FfsFileHeader))
    return sio::Fail("a large-file header (FFS_ATTRIB_LARGE_FILE) is not supported");
  // A build may pad the file to 8 bytes; anything longer is not one file.
  if (AlignUp(F->Size, kFfsFileAlignment) < Bytes.size())
    return sio::Fail(Hex(Bytes.size()) + " bytes but the file header says " + Hex(F->Size));
  if (F->State != file_state::kFinished)
    return sio::Fail("state is not that of a finished stand-alone file (0x07); a file copied out "
                     "of a volume with erase polarity 1 reads 0xF8 and needs its state "
                     "complemented");
  return F;
}

sio::Result<std::vector<SectionView>> ListSections(std::span<const uint8_t> File) {
  auto F = ReadFfsFile(File);
  if (!F)
    return F.Failure();
  auto Sections = ParseSections(File.subspan(F->DataOffset(), F->DataSize()));
  if (!Sections)
    return Sections.Failure();
  for (SectionView& S : *Sections)
    S.Offset += F->DataOffset();
  return Sections;
}

uint8_t StoredState(uint8_t State, bool ErasePolarity) {
  return ErasePolarity ? static_cast<uint8_t>(~State) : State;
}

sio::Result<BuiltFile> BuildFfsFile(const FileRecipe& Recipe) {
  BuiltFile Out;
  std::vector<uint8_t> Data; // the file data, offsets counted from its start
  uint32_t FileAlignment = 8;
  constexpr size_t kHeader = sizeof(SectionHeader);
  for (const SectionRecipe& S : Recipe.Sections) {
    if (!std::has_single_bit(S.BodyAlignment) || S.BodyAlignment < 4 ||
        S.BodyPhase >= S.BodyAlignment || S.BodyPhase % 4 != 0)
      return sio::Fail("section body alignment " + std::to_string(S.BodyAlignment) +
                       " with phase " + std::to_string(S.BodyPhase) +
                       " cannot be met on 4-byte section boundaries");
    Data.resize(AlignUp(Data.size(), kSectionAlignment), 0);
    // A RAW section in front moves the body to the next offset that has the
    // wanted phase; sections sit on 4-byte boundaries, so the gap is a
    // multiple of 4 and always holds at least the pad's own header.
    const size_t Gap = (S.BodyPhase + S.BodyAlignment - (Data.size() + kHeader) % S.BodyAlignment) %
                       S.BodyAlignment;
    if (Gap != 0) {
      if (auto Pad = AppendSection(Data, section_type::kRaw, std::vector<uint8_t>(Gap - kHeader));
          !Pad)
        return Pad.Failure();
    }
    Out.BodyOffsets.push_back(sizeof(FfsFileHeader) + Data.size() + kHeader);
    if (auto Added = AppendSection(Data, S.Type, S.Body); !Added)
      return Added.Failure();
    FileAlignment = std::max(FileAlignment, S.BodyAlignment);
  }
  const auto Alignment = EncodeDataAlignment(FileAlignment);
  if (!Alignment)
    return Alignment.Failure();
  const size_t Size = sizeof(FfsFileHeader) + Data.size();
  if (Size > kMaxSize24)
    return sio::Fail("file too large for a 24-bit size");
  FfsFileHeader H{};
  H.Name = Recipe.Name;
  H.Type = Recipe.Type;
  H.Attributes = static_cast<uint8_t>(Alignment->Attributes |
                                      (Recipe.DataChecksum ? file_attr::kChecksum : 0));
  H.Size = static_cast<uint32_t>(Size);
  H.State = file_state::kFinished;
  Out.Bytes.resize(sizeof H);
  WriteRecord(std::span<uint8_t>(Out.Bytes), 0, H);
  Out.Bytes.insert(Out.Bytes.end(), Data.begin(), Data.end());
  SealFfsFile(Out.Bytes, sizeof H);
  return Out;
}

void WritePadFile(std::span<uint8_t> At, bool ErasePolarity) {
  std::fill(At.begin(), At.end(), ErasePolarity ? 0xFF : 0x00);
  FfsFileHeader H{};
  H.Type = file_type::kPad;
  H.Size = static_cast<uint32_t>(At.size());
  H.State = StoredState(file_state::kFinished, ErasePolarity);
  WriteRecord(At, 0, H);
  SealFfsFile(At, sizeof H);
}

} // namespace pi
