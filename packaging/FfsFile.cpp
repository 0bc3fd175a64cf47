#include "packaging/FfsFile.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>

#include "packaging/Checksums.h"

namespace packaging {
namespace {

// Data alignments the attribute bits can declare, by code (bits 5:3), without
// and with FFS_ATTRIB_DATA_ALIGNMENT_2.
constexpr uint32_t kAlignmentByCode[2][8] = {
    {1, 16, 128, 512, 1024, 4096, 32768, 65536},
    {128u << 10, 256u << 10, 512u << 10, 1u << 20, 2u << 20, 4u << 20, 8u << 20, 16u << 20}};

constexpr size_t AlignUp(size_t Value, size_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

void PutSize24(uint8_t* Field, size_t Size) {
  Field[0] = static_cast<uint8_t>(Size);
  Field[1] = static_cast<uint8_t>(Size >> 8);
  Field[2] = static_cast<uint8_t>(Size >> 16);
}

uint32_t GetSize24(const uint8_t* Field) {
  return Field[0] | Field[1] << 8 | Field[2] << 16;
}

void AppendSection(std::vector<uint8_t>& Data, uint8_t Type, std::span<const uint8_t> Body) {
  const size_t Size = kSectionHeaderSize + Body.size();
  if (Size > kMaxFileSize)
    throw std::invalid_argument("section too large for a 24-bit size");
  uint8_t Header[kSectionHeaderSize] = {0, 0, 0, Type};
  PutSize24(Header, Size);
  Data.insert(Data.end(), Header, Header + kSectionHeaderSize);
  Data.insert(Data.end(), Body.begin(), Body.end());
}

} // namespace

DataAlignment EncodeDataAlignment(uint32_t Alignment) {
  if (!std::has_single_bit(Alignment) || Alignment > kAlignmentByCode[1][7]) {
    throw std::invalid_argument("data alignment " + std::to_string(Alignment) +
                                " is not a power of two up to 16 MiB");
  }
  for (uint8_t Large = 0; Large < 2; ++Large) {
    for (uint8_t Code = 0; Code < 8; ++Code) {
      // Code 0 means no more than the 8 bytes every file start has anyway.
      if (std::max<uint32_t>(kAlignmentByCode[Large][Code], 8) >= Alignment) {
        return {std::max<uint32_t>(kAlignmentByCode[Large][Code], 8),
                static_cast<uint8_t>(Code << 3 | (Large ? file_attr::kDataAlignment2 : 0))};
      }
    }
  }
  return {}; // not reached: 16 MiB is in the table
}

uint32_t DecodeDataAlignment(uint8_t Attributes) {
  const uint32_t Bytes = kAlignmentByCode[(Attributes & file_attr::kDataAlignment2) ? 1 : 0]
                                         [(Attributes & file_attr::kDataAlignmentMask) >> 3];
  return std::max<uint32_t>(Bytes, 8);
}

std::vector<uint8_t> UserInterfaceBody(std::u16string_view Name) {
  std::vector<uint8_t> Body;
  for (char16_t C : Name) {
    Body.push_back(static_cast<uint8_t>(C));
    Body.push_back(static_cast<uint8_t>(C >> 8));
  }
  Body.push_back(0);
  Body.push_back(0);
  return Body;
}

BuiltFile BuildFfsFile(const FileRecipe& Recipe) {
  BuiltFile Out;
  std::vector<uint8_t> Data; // the file data, offsets counted from its start
  uint32_t FileAlignment = 8;
  for (const SectionRecipe& S : Recipe.Sections) {
    if (!std::has_single_bit(S.BodyAlignment) || S.BodyAlignment < 4 ||
        S.BodyPhase >= S.BodyAlignment || S.BodyPhase % 4 != 0) {
      throw std::invalid_argument("section body alignment " + std::to_string(S.BodyAlignment) +
                                  " with phase " + std::to_string(S.BodyPhase) +
                                  " cannot be met on 4-byte section boundaries");
    }
    Data.resize(AlignUp(Data.size(), 4), 0);
    // A RAW section in front moves the body to the next offset that has the
    // wanted phase; sections sit on 4-byte boundaries, so the gap is a
    // multiple of 4 and always holds at least the pad's own header.
    const size_t Gap =
        (S.BodyPhase + S.BodyAlignment - (Data.size() + kSectionHeaderSize) % S.BodyAlignment) %
        S.BodyAlignment;
    if (Gap != 0) {
      AppendSection(Data, section_type::kRaw, std::vector<uint8_t>(Gap - kSectionHeaderSize, 0));
    }
    Out.BodyOffsets.push_back(kFileHeaderSize + Data.size() + kSectionHeaderSize);
    AppendSection(Data, S.Type, S.Body);
    FileAlignment = std::max(FileAlignment, S.BodyAlignment);
  }
  const DataAlignment Alignment = EncodeDataAlignment(FileAlignment);
  Out.Bytes = MakeFile(Recipe.Name, Recipe.Type, Alignment.Attributes, Data, Recipe.DataChecksum);
  return Out;
}

std::vector<uint8_t> MakeFile(const pi::Guid& Name, uint8_t Type, uint8_t Attributes,
                              std::span<const uint8_t> Data, bool DataChecksum) {
  std::vector<uint8_t> File(kFileHeaderSize, 0);
  std::copy(Name.begin(), Name.end(), File.begin());
  File[0x12] = Type;
  File[0x13] = static_cast<uint8_t>((Attributes & ~file_attr::kChecksum) |
                                    (DataChecksum ? file_attr::kChecksum : 0));
  File.insert(File.end(), Data.begin(), Data.end());
  SetFileSize(File, File.size());
  File[0x11] = DataChecksum ? Checksum8(Data) : kFixedFileChecksum;
  File[0x17] = file_state::kFinished;
  return File;
}

void SetFileSize(std::vector<uint8_t>& File, size_t Size) {
  if (Size > kMaxFileSize)
    throw std::invalid_argument("file too large for a 24-bit size");
  PutSize24(File.data() + 0x14, Size);
  // The header checksum covers every field but the two checksums and State, taken as zero.
  uint8_t Header[kFileHeaderSize];
  std::copy_n(File.begin(), kFileHeaderSize, Header);
  Header[0x10] = Header[0x11] = Header[0x17] = 0;
  File[0x10] = Checksum8(Header);
}

FileHeaderInfo ReadFfsFile(std::span<const uint8_t> File) {
  if (File.size() < kFileHeaderSize)
    throw std::runtime_error("shorter than a file header");
  FileHeaderInfo Info;
  std::copy_n(File.begin(), 16, Info.Name.begin());
  Info.Type = File[0x12];
  Info.Attributes = File[0x13];
  Info.Size = GetSize24(File.data() + 0x14);
  Info.State = File[0x17];
  Info.DataAlignment = DecodeDataAlignment(Info.Attributes);
  if (Info.Attributes & file_attr::kLargeFile) {
    throw std::runtime_error("a large-file header (FFS_ATTRIB_LARGE_FILE) is not supported");
  }
  if (Info.Size < kFileHeaderSize || Info.Size > File.size()) {
    throw std::runtime_error("size field " + std::to_string(Info.Size) + " does not fit the " +
                             std::to_string(File.size()) + " bytes given");
  }
  uint8_t Header[kFileHeaderSize];
  std::copy_n(File.begin(), kFileHeaderSize, Header);
  Header[0x11] = 0;
  Header[0x17] = 0;
  if (Sum8(Header) != 0)
    throw std::runtime_error("header checksum does not sum to zero");
  const auto Data = File.subspan(kFileHeaderSize, Info.Size - kFileHeaderSize);
  if (Info.Attributes & file_attr::kChecksum) {
    if (static_cast<uint8_t>(Sum8(Data) + File[0x11]) != 0) {
      throw std::runtime_error("data checksum does not sum to zero");
    }
  } else if (File[0x11] != kFixedFileChecksum) {
    throw std::runtime_error("data checksum is not 0xAA while FFS_ATTRIB_CHECKSUM is clear");
  }
  if (Info.State != file_state::kFinished) {
    throw std::runtime_error(
        "state is not that of a finished stand-alone file (0x07); a file copied out of a volume "
        "with erase polarity 1 reads 0xF8 and needs its state complemented");
  }
  return Info;
}

std::vector<SectionView> ListSections(std::span<const uint8_t> File) {
  const FileHeaderInfo Info = ReadFfsFile(File);
  std::vector<SectionView> Sections;
  size_t Offset = kFileHeaderSize;
  while (Offset < Info.Size) {
    if (Info.Size - Offset < kSectionHeaderSize) {
      throw std::runtime_error("section header at " + std::to_string(Offset) + " is cut off");
    }
    const uint32_t Size = GetSize24(File.data() + Offset);
    if (Size < kSectionHeaderSize || Size > Info.Size - Offset) {
      throw std::runtime_error("section at " + std::to_string(Offset) + " has size " +
                               std::to_string(Size) + ", beyond the file");
    }
    Sections.push_back({File[Offset + 3], Offset,
                        File.subspan(Offset + kSectionHeaderSize, Size - kSectionHeaderSize)});
    Offset = AlignUp(Offset + Size, 4);
  }
  return Sections;
}

} // namespace packaging
