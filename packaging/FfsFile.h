// PI firmware files (FFS): a 24-byte header naming the file by GUID, then its
// sections, each a 4-byte header and a body, 4-byte aligned within the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "board/Guid.h"

namespace packaging {

namespace section_type {
inline constexpr uint8_t kPe32 = 0x10;
inline constexpr uint8_t kTe = 0x12;
inline constexpr uint8_t kUserInterface = 0x15;
inline constexpr uint8_t kRaw = 0x19;
inline constexpr uint8_t kPeiDepex = 0x1B;
} // namespace section_type

namespace file_type {
inline constexpr uint8_t kPeim = 0x06;
inline constexpr uint8_t kPad = 0xF0;
} // namespace file_type

namespace file_attr {
inline constexpr uint8_t kLargeFile = 0x01;
inline constexpr uint8_t kDataAlignment2 = 0x02;
inline constexpr uint8_t kDataAlignmentMask = 0x38;
inline constexpr uint8_t kChecksum = 0x40;
} // namespace file_attr

namespace file_state {
inline constexpr uint8_t kHeaderConstruction = 0x01;
inline constexpr uint8_t kHeaderValid = 0x02;
inline constexpr uint8_t kDataValid = 0x04;
// A finished file, in positive logic; a volume with erase polarity 1 stores the complement.
inline constexpr uint8_t kFinished = kHeaderConstruction | kHeaderValid | kDataValid;
} // namespace file_state

inline constexpr size_t kFileHeaderSize = 24;
inline constexpr size_t kSectionHeaderSize = 4;
inline constexpr uint8_t kFixedFileChecksum = 0xAA;
// Largest size a 24-bit Size field holds; the module's file is far below it.
inline constexpr size_t kMaxFileSize = 0xFFFFFF;

struct SectionRecipe {
  uint8_t Type = section_type::kRaw;
  std::vector<uint8_t> Body;
  // The body starts at a multiple of this, counted from the start of the file
  // data, plus BodyPhase; a RAW pad section is put in front when needed.
  // BodyAlignment is a power of two >= 4, BodyPhase a multiple of 4 below it.
  // (A TE image needs a phase: its aligned point lies before its first byte.)
  uint32_t BodyAlignment = 4;
  uint32_t BodyPhase = 0;
};

struct FileRecipe {
  pi::Guid Name{};
  uint8_t Type = file_type::kPeim;
  std::vector<SectionRecipe> Sections;
  // True: a real 8-bit data checksum under FFS_ATTRIB_CHECKSUM; false: 0xAA.
  bool DataChecksum = true;
};

// The smallest data alignment a file header can declare that is at least
// Alignment (a power of two up to 16 MiB), and the attribute bits declaring it.
struct DataAlignment {
  uint32_t Bytes;
  uint8_t Attributes;
};
DataAlignment EncodeDataAlignment(uint32_t Alignment);
// The data alignment the attribute bits declare (8 for code 0: files are 8-aligned).
uint32_t DecodeDataAlignment(uint8_t Attributes);

// Body of a user-interface section: the name in UTF-16LE with a NUL.
std::vector<uint8_t> UserInterfaceBody(std::u16string_view Name);

// A finished file (positive-logic state) of Name, Type and Attributes whose
// data is Data, with both checksums set. Throws std::invalid_argument when
// the file is too large for a 24-bit size.
std::vector<uint8_t> MakeFile(const pi::Guid& Name, uint8_t Type, uint8_t Attributes,
                              std::span<const uint8_t> Data, bool DataChecksum);
// Rewrites the size of a file whose data is all erase bytes (a pad file) to
// Size and recomputes its header checksum.
void SetFileSize(std::vector<uint8_t>& File, size_t Size);

struct BuiltFile {
  std::vector<uint8_t> Bytes;
  // Offset within Bytes of each recipe section's body, in recipe order.
  std::vector<size_t> BodyOffsets;
};
// Lays out the sections, sets size, attributes, checksums and the finished
// state (positive logic). Throws std::invalid_argument for a file that cannot
// be expressed (too large, bad alignment).
BuiltFile BuildFfsFile(const FileRecipe& Recipe);

struct FileHeaderInfo {
  pi::Guid Name{};
  uint8_t Type = 0;
  uint8_t Attributes = 0;
  uint8_t State = 0;
  uint32_t Size = 0;
  uint32_t DataAlignment = 8;
};
// Reads a stand-alone file (state in positive logic) and checks its size,
// header checksum and data checksum. Throws std::runtime_error saying what is wrong.
FileHeaderInfo ReadFfsFile(std::span<const uint8_t> File);

struct SectionView {
  uint8_t Type = 0;
  size_t Offset = 0; // of the section header within the file
  std::span<const uint8_t> Body;
};
// The sections of a file read by ReadFfsFile; throws std::runtime_error for a
// section that does not fit the file.
std::vector<SectionView> ListSections(std::span<const uint8_t> File);

} // namespace packaging
