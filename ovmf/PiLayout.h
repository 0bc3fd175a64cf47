// Binary layout of the PI firmware structures the OVMF tools read and write:
// firmware volume header, FFS file header, section headers, the GUIDs that
// name them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace ovmf {

using Guid = std::array<uint8_t, 16>; // as it lies in memory

// Firmware volume header.
inline constexpr size_t kFvLengthOffset = 0x20;
inline constexpr size_t kFvSignatureOffset = 0x28;
inline constexpr size_t kFvAttributesOffset = 0x2C;
inline constexpr size_t kFvHeaderLengthOffset = 0x30;
inline constexpr size_t kFvChecksumOffset = 0x32;
inline constexpr size_t kFvRevisionOffset = 0x37;
inline constexpr size_t kFvMinHeaderLength = 0x48;   // fixed fields, one block run, terminator
inline constexpr uint32_t kFvSignature = 0x4856465F; // "_FVH"
inline constexpr uint32_t kFvErasePolarity = 0x800;

// FFS file header.
inline constexpr size_t kFfsHeaderSize = 24;
inline constexpr size_t kFfsHeader2Size = 32;
inline constexpr size_t kFfsHeaderChecksumOffset = 0x10;
inline constexpr size_t kFfsFileChecksumOffset = 0x11;
inline constexpr size_t kFfsTypeOffset = 0x12;
inline constexpr size_t kFfsAttributesOffset = 0x13;
inline constexpr size_t kFfsSizeOffset = 0x14;
inline constexpr size_t kFfsStateOffset = 0x17;
inline constexpr size_t kFfsAlignment = 8; // every file header starts 8-aligned in its volume
inline constexpr uint8_t kFfsAttribLargeFile = 0x01;
inline constexpr uint8_t kFfsAttribDataAlignment2 = 0x02;
inline constexpr uint8_t kFfsAttribChecksum = 0x40;
inline constexpr uint8_t kFfsFixedChecksum = 0xAA;
// Constructed, header valid, data valid; stored complemented in an
// erase-polarity volume.
inline constexpr uint8_t kFfsStateValid = 0x07;

inline constexpr uint8_t kFileTypeSecCore = 0x03;
inline constexpr uint8_t kFileTypePeiCore = 0x04;
inline constexpr uint8_t kFileTypePeim = 0x06;
inline constexpr uint8_t kFileTypeFvImage = 0x0B;
inline constexpr uint8_t kFileTypePad = 0xF0;

// Sections.
inline constexpr size_t kSectionHeaderSize = 4;
inline constexpr size_t kSectionHeader2Size = 8;
inline constexpr size_t kSectionAlignment = 4;
inline constexpr uint8_t kSectionGuidDefined = 0x02;
inline constexpr uint8_t kSectionPe32 = 0x10;
inline constexpr uint8_t kSectionTe = 0x12;
inline constexpr uint8_t kSectionUserInterface = 0x15;
inline constexpr uint8_t kSectionFvImage = 0x17;
inline constexpr uint8_t kSectionPeiDepex = 0x1B;
inline constexpr size_t kGuidSectionDataOffsetField = 0x14; // UINT16 after the header and GUID
inline constexpr uint32_t kMaxSectionSize = 0xFFFFFF;       // 24-bit size field

inline constexpr Guid kFfs2Guid = {0x78, 0xE5, 0x8C, 0x8C, 0x3D, 0x8A, 0x1C, 0x4F,
                                   0x99, 0x35, 0x89, 0x61, 0x85, 0xC3, 0x2D, 0xD3};
inline constexpr Guid kFfs3Guid = {0x7A, 0xC0, 0x73, 0x54, 0xCB, 0x3D, 0xCA, 0x4D,
                                   0xBD, 0x6F, 0x1E, 0x96, 0x89, 0xE7, 0x34, 0x9A};
// EE4E5898-3914-4259-9D6E-DC7BD79403CF
inline constexpr Guid kLzmaSectionGuid = {0x98, 0x58, 0x4E, 0xEE, 0x14, 0x39, 0x59, 0x42,
                                          0x9D, 0x6E, 0xDC, 0x7B, 0xD7, 0x94, 0x03, 0xCF};

inline uint32_t Load24(const uint8_t* P) {
  return P[0] | (P[1] << 8) | (uint32_t{P[2]} << 16);
}
inline void Store24(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
  P[2] = static_cast<uint8_t>(V >> 16);
}
inline uint16_t Load16(const uint8_t* P) {
  return static_cast<uint16_t>(P[0] | (P[1] << 8));
}
inline void Store16(uint8_t* P, uint16_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}
inline uint32_t Load32(const uint8_t* P) {
  return Load16(P) | (uint32_t{Load16(P + 2)} << 16);
}
inline uint64_t Load64(const uint8_t* P) {
  return Load32(P) | (uint64_t{Load32(P + 4)} << 32);
}

inline Guid GuidAt(const uint8_t* P) {
  Guid G;
  for (size_t I = 0; I < G.size(); ++I)
    G[I] = P[I];
  return G;
}

inline constexpr size_t AlignUp(size_t Value, size_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

} // namespace ovmf
