// SPDX-License-Identifier: BSD-2-Clause-Patent
// The PI firmware records as they lie in flash: firmware volume header and
// block map, FFS file headers, section headers, the GUID-defined section and
// the TE image header. Packed structs of little-endian fields, so every
// reader and writer names a field instead of computing its offset; sizes and
// offsets are checked here once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pi/Guid.h"
#include "pi/LittleEndian.h"

namespace pi {

// ---- Firmware volume ------------------------------------------------------

struct FvBlockMapEntry {
  Le32 NumBlocks;
  Le32 Length;
};

// The fixed part of a firmware volume header; the block map follows it, ended
// by an all-zero entry.
struct FvHeader {
  uint8_t ZeroVector[16];
  Guid FileSystemGuid;
  Le64 FvLength;
  Le32 Signature;
  Le32 Attributes;
  Le16 HeaderLength;
  Le16 Checksum;
  Le16 ExtHeaderOffset;
  uint8_t Reserved;
  uint8_t Revision;
};
static_assert(sizeof(FvBlockMapEntry) == 8);
static_assert(sizeof(FvHeader) == 0x38);
static_assert(offsetof(FvHeader, FileSystemGuid) == 0x10 && offsetof(FvHeader, FvLength) == 0x20);
static_assert(offsetof(FvHeader, Signature) == 0x28 && offsetof(FvHeader, Attributes) == 0x2C);
static_assert(offsetof(FvHeader, HeaderLength) == 0x30 && offsetof(FvHeader, Checksum) == 0x32);
static_assert(offsetof(FvHeader, Revision) == 0x37);

// Fixed fields, one block run and the terminating entry.
inline constexpr size_t kFvMinHeaderLength = sizeof(FvHeader) + 2 * sizeof(FvBlockMapEntry);
static_assert(kFvMinHeaderLength == 0x48);
inline constexpr uint32_t kFvSignature = 0x4856465F; // "_FVH"
inline constexpr uint8_t kFvRevision = 2;
inline constexpr uint32_t kFvbErasePolarity = 0x800;
inline constexpr unsigned kFvbAlignmentShift = 16; // EFI_FVB2_ALIGNMENT: log2 in bits 20:16

inline constexpr Guid kFfs2FileSystemGuid = GuidFromText("8C8CE578-8A3D-4F1C-9935-896185C32DD3");
inline constexpr Guid kFfs3FileSystemGuid = GuidFromText("5473C07A-3DCB-4DCA-BD6F-1E9689E7349A");

// ---- FFS files -------------------------------------------------------------

struct FfsFileHeader {
  Guid Name;
  uint8_t HeaderChecksum;
  uint8_t FileChecksum;
  uint8_t Type;
  uint8_t Attributes;
  Le24 Size;
  uint8_t State;
};
// The large-file form: Size is 0 and ExtendedSize holds the size.
struct FfsFileHeader2 {
  FfsFileHeader Base;
  Le64 ExtendedSize;
};
static_assert(sizeof(FfsFileHeader) == 24 && sizeof(FfsFileHeader2) == 32);
static_assert(offsetof(FfsFileHeader, HeaderChecksum) == 0x10 &&
              offsetof(FfsFileHeader, FileChecksum) == 0x11);
static_assert(offsetof(FfsFileHeader, Type) == 0x12 && offsetof(FfsFileHeader, Attributes) == 0x13);
static_assert(offsetof(FfsFileHeader, Size) == 0x14 && offsetof(FfsFileHeader, State) == 0x17);

inline constexpr size_t kFfsFileAlignment = 8; // every file header starts 8-aligned in its volume
inline constexpr uint8_t kFfsFixedChecksum = 0xAA;
inline constexpr size_t kMaxSize24 = 0xFFFFFF; // largest 24-bit Size field

namespace file_type {
inline constexpr uint8_t kSecCore = 0x03;
inline constexpr uint8_t kPeiCore = 0x04;
inline constexpr uint8_t kDxeCore = 0x05;
inline constexpr uint8_t kPeim = 0x06;
inline constexpr uint8_t kDriver = 0x07;
inline constexpr uint8_t kFvImage = 0x0B;
inline constexpr uint8_t kPad = 0xF0;
} // namespace file_type
// File types whose data is a series of sections (FREEFORM to
// MM_CORE_STANDALONE); RAW, pad and OEM or debug types hold other data.
inline constexpr uint8_t kFirstSectionedFileType = 0x02;
inline constexpr uint8_t kLastSectionedFileType = 0x0F;

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

// ---- Sections --------------------------------------------------------------

struct SectionHeader {
  Le24 Size;
  uint8_t Type;
};
// The large form: Size is 0xFFFFFF and ExtendedSize holds the size.
struct SectionHeader2 {
  SectionHeader Base;
  Le32 ExtendedSize;
};
struct GuidDefinedSection {
  SectionHeader Header;
  Guid SectionDefinitionGuid;
  Le16 DataOffset;
  Le16 Attributes;
};
static_assert(sizeof(SectionHeader) == 4 && sizeof(SectionHeader2) == 8);
static_assert(sizeof(GuidDefinedSection) == 24 && offsetof(GuidDefinedSection, DataOffset) == 0x14);

inline constexpr size_t kSectionAlignment = 4; // sections start 4-aligned in their file

namespace section_type {
inline constexpr uint8_t kGuidDefined = 0x02;
inline constexpr uint8_t kPe32 = 0x10;
inline constexpr uint8_t kDxeDepex = 0x13;
inline constexpr uint8_t kTe = 0x12;
inline constexpr uint8_t kUserInterface = 0x15;
inline constexpr uint8_t kFvImage = 0x17;
inline constexpr uint8_t kRaw = 0x19;
inline constexpr uint8_t kPeiDepex = 0x1B;
} // namespace section_type

// EE4E5898-3914-4259-9D6E-DC7BD79403CF: the LZMA GUID-defined section.
inline constexpr Guid kLzmaSectionGuid = GuidFromText("EE4E5898-3914-4259-9D6E-DC7BD79403CF");

// ---- TE images ---------------------------------------------------------------

struct TeDataDirectory {
  Le32 VirtualAddress;
  Le32 Size;
};
// Replaces the DOS header, stub, PE signature, file header and optional header
// (StrippedSize bytes) of a PE32 image; the section table follows it.
struct TeHeader {
  Le16 Signature;
  Le16 Machine;
  uint8_t NumberOfSections;
  uint8_t Subsystem;
  Le16 StrippedSize;
  Le32 AddressOfEntryPoint;
  Le32 BaseOfCode;
  Le64 ImageBase;
  TeDataDirectory BaseRelocation;
  TeDataDirectory Debug;
};
static_assert(sizeof(TeHeader) == 40);
static_assert(offsetof(TeHeader, StrippedSize) == 6 && offsetof(TeHeader, ImageBase) == 0x10);
static_assert(offsetof(TeHeader, BaseRelocation) == 0x18 && offsetof(TeHeader, Debug) == 0x20);
inline constexpr size_t kTeHeaderSize = sizeof(TeHeader);
inline constexpr uint16_t kTeSignature = 0x5A56; // "VZ"

} // namespace pi
