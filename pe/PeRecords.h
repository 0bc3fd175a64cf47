// SPDX-License-Identifier: BSD-2-Clause-Patent
// The PE/COFF records a PEI module image is made of, as packed structs of
// little-endian fields (the TE header is a PI record: pi/Records.h), and the
// values of their fields this project meets. Said once here; the readers,
// the image check, the TE converter and the loader use them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pi/LittleEndian.h"

namespace pe {

using pi::Le16;
using pi::Le32;
using pi::Le64;

struct DosHeader {
  Le16 Magic; // "MZ"
  uint8_t Unused[0x3A];
  Le32 NewHeaderOffset; // e_lfanew: where "PE\0\0" lies
};
static_assert(sizeof(DosHeader) == 0x40 && offsetof(DosHeader, NewHeaderOffset) == 0x3C);

struct CoffFileHeader {
  Le32 Signature; // "PE\0\0"
  Le16 Machine;
  Le16 NumberOfSections;
  Le32 TimeDateStamp;
  Le32 PointerToSymbolTable;
  Le32 NumberOfSymbols;
  Le16 SizeOfOptionalHeader;
  Le16 Characteristics;
};
static_assert(sizeof(CoffFileHeader) == 24);

// Bytes 24-31 of the optional header: PE32 has BaseOfData and a 32-bit
// ImageBase there, PE32+ a 64-bit ImageBase.
template <typename Address> struct ImageBaseField;
template <> struct ImageBaseField<Le32> {
  Le32 BaseOfData;
  Le32 ImageBase;
};
template <> struct ImageBaseField<Le64> { Le64 ImageBase; };

// The PE32 and PE32+ optional headers (up to the data directories): the same
// fields, some of other widths.
template <typename Address> struct OptionalHeader {
  Le16 Magic;
  uint8_t MajorLinkerVersion;
  uint8_t MinorLinkerVersion;
  Le32 SizeOfCode;
  Le32 SizeOfInitializedData;
  Le32 SizeOfUninitializedData;
  Le32 AddressOfEntryPoint;
  Le32 BaseOfCode;
  ImageBaseField<Address> Base;
  Le32 SectionAlignment;
  Le32 FileAlignment;
  Le16 MajorOperatingSystemVersion;
  Le16 MinorOperatingSystemVersion;
  Le16 MajorImageVersion;
  Le16 MinorImageVersion;
  Le16 MajorSubsystemVersion;
  Le16 MinorSubsystemVersion;
  Le32 Win32VersionValue;
  Le32 SizeOfImage;
  Le32 SizeOfHeaders;
  Le32 CheckSum;
  Le16 Subsystem;
  Le16 DllCharacteristics;
  Address SizeOfStackReserve;
  Address SizeOfStackCommit;
  Address SizeOfHeapReserve;
  Address SizeOfHeapCommit;
  Le32 LoaderFlags;
  Le32 NumberOfRvaAndSizes;
};
using OptionalHeader32 = OptionalHeader<Le32>;
using OptionalHeader64 = OptionalHeader<Le64>;
static_assert(sizeof(OptionalHeader32) == 96 && sizeof(OptionalHeader64) == 112);
static_assert(offsetof(OptionalHeader32, SectionAlignment) == 32 &&
              offsetof(OptionalHeader32, SizeOfImage) == 56 &&
              offsetof(OptionalHeader32, Subsystem) == 68);

struct DataDirectory {
  Le32 VirtualAddress;
  Le32 Size;
};
static_assert(sizeof(DataDirectory) == 8);

struct SectionTableEntry {
  char Name[8];
  Le32 VirtualSize;
  Le32 VirtualAddress;
  Le32 SizeOfRawData;
  Le32 PointerToRawData;
  Le32 PointerToRelocations;
  Le32 PointerToLinenumbers;
  Le16 NumberOfRelocations;
  Le16 NumberOfLinenumbers;
  Le32 Characteristics;
};
static_assert(sizeof(SectionTableEntry) == 40 &&
              offsetof(SectionTableEntry, Characteristics) == 36);

struct RelocationBlockHeader {
  Le32 PageRva;
  Le32 BlockSize; // header included
};
static_assert(sizeof(RelocationBlockHeader) == 8);

inline constexpr uint16_t kDosMagic = 0x5A4D;        // "MZ"
inline constexpr uint32_t kPeSignature = 0x00004550; // "PE\0\0"
inline constexpr uint16_t kMagicPe32 = 0x10B;
inline constexpr uint16_t kMagicPe32Plus = 0x20B;
inline constexpr uint16_t kMachineI386 = 0x14C;
inline constexpr uint16_t kMachineX64 = 0x8664;
inline constexpr uint16_t kSubsystemEfiBootServiceDriver = 11;
inline constexpr uint32_t kDirectoryBaseRelocation = 5;
inline constexpr uint32_t kDirectoryDebug = 6;
inline constexpr uint32_t kMaxDirectories = 16;

inline constexpr uint32_t kSectionCode = 0x00000020;
inline constexpr uint32_t kSectionExecute = 0x20000000;
inline constexpr uint32_t kSectionRead = 0x40000000;
inline constexpr uint32_t kSectionWrite = 0x80000000;

inline constexpr uint8_t kRelocationAbsolute = 0; // padding entry
inline constexpr uint8_t kRelocationHighLow = 3;  // 32-bit address
inline constexpr uint8_t kRelocationDir64 = 10;   // 64-bit address

// The two processor modes a PEI module is built for, and what each fixes in
// its image: the optional header's form, the one base relocation type that
// has a meaning there and the bytes that relocation patches.
struct MachineInfo {
  uint16_t Machine;
  uint16_t Magic;
  uint8_t RelocationType;
  uint8_t SiteBytes;
  const char* Name;           // "IA-32"
  const char* MagicName;      // "PE32"
  const char* RelocationName; // "HIGHLOW"
  const char* Edk2Arch;       // "IA32": the name EDK2's build and INF sections give it
};
inline constexpr MachineInfo kMachines[] = {
    {kMachineI386, kMagicPe32, kRelocationHighLow, 4, "IA-32", "PE32", "HIGHLOW", "IA32"},
    {kMachineX64, kMagicPe32Plus, kRelocationDir64, 8, "X64", "PE32+", "DIR64", "X64"},
};

// The mode of machine type Machine; nullptr for one a PEI module is not built for.
constexpr const MachineInfo* FindMachine(uint16_t Machine) {
  for (const MachineInfo& M : kMachines) {
    if (M.Machine == Machine)
      return &M;
  }
  return nullptr;
}

// What a PEI module image may claim before anything is allocated or walked
// from its headers: a module running from flash is a few KiB, so a few MiB
// is generous; alignments are powers of two no larger than 64 KiB.
inline constexpr uint32_t kMaxImageSize = 4u << 20;
inline constexpr uint32_t kMaxAlignment = 64u << 10;
inline constexpr uint32_t kMaxSections = 96;

} // namespace pe
