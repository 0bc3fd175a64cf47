#include "pe/PeRebase.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "pe/PeFile.h"

namespace pe {
namespace {

constexpr uint8_t kRelAbsolute = kRelocationAbsolute;
constexpr uint8_t kRelHighLow = kRelocationHighLow;

struct ParsedImage {
  size_t ImageBaseOffset = 0;       // file offset of OptionalHeader.ImageBase
  std::vector<size_t> FixupOffsets; // file offsets of the HIGHLOW targets
  Pe32Info Info;
};

std::string Hex(uint32_t Value) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%X", Value);
  return Text;
}

// File offset of the 4 bytes at Rva, if they lie in one section's raw data.
std::optional<size_t> FileOffsetOf(const PeFile& File, uint32_t Rva) {
  for (const SectionHeader& S : File.Sections) {
    const uint64_t Bytes = std::min(S.LoadedSize(), S.RawSize);
    if (Rva < S.VirtualAddress || uint64_t{Rva} + 4 > uint64_t{S.VirtualAddress} + Bytes)
      continue;
    const uint64_t Offset = uint64_t{S.RawOffset} + (Rva - S.VirtualAddress);
    if (Offset + 4 > File.FileSize)
      return std::nullopt;
    return static_cast<size_t>(Offset);
  }
  return std::nullopt;
}

// The image's headers and relocation sites, read with the shared PE reader;
// the sites are mapped back from RVAs to offsets in the file as it lies.
ParsedImage Parse(std::span<const uint8_t> Image) {
  PeReadResult Read = ReadPeFile(Image);
  if (!Read.File)
    throw PeError(Read.Error);
  const PeFile& File = *Read.File;
  if (File.Magic != kMagicPe32 || File.Machine != kMachineI386)
    throw PeError("not an IA-32 PE32 image");
  ParsedImage P;
  P.ImageBaseOffset = File.ImageBaseOffset;
  P.Info.ImageBase = static_cast<uint32_t>(File.ImageBase);
  P.Info.SectionAlignment = File.SectionAlignment;
  P.Info.FileAlignment = File.FileAlignment;
  P.Info.EntryPoint = File.EntryRva;
  std::vector<uint8_t> Memory;
  if (auto Error = LayOutImage(File, Image, Memory))
    throw PeError(*Error);
  std::vector<BaseRelocation> Relocations;
  if (auto Error = ReadBaseRelocations(File, Memory, Relocations))
    throw PeError(*Error);
  for (const BaseRelocation& R : Relocations) {
    if (R.Type != kRelHighLow)
      throw PeError("base relocation of type " + std::to_string(R.Type) + " at RVA " + Hex(R.Rva) +
                    " (only HIGHLOW is used on IA-32)");
    const auto Offset = FileOffsetOf(File, R.Rva);
    if (!Offset)
      throw PeError("base relocation at RVA " + Hex(R.Rva) + " lies outside the image's data");
    P.FixupOffsets.push_back(*Offset);
  }
  P.Info.Relocations = P.FixupOffsets.size();
  return P;
}

uint32_t Load32(const uint8_t* P) {
  uint32_t V;
  std::memcpy(&V, P, 4);
  return V;
}
void Store32(uint8_t* P, uint32_t V) {
  std::memcpy(P, &V, 4);
}

constexpr uint16_t kTeSignature = 0x5A56; // "VZ"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr size_t kTeSectionEntrySize = 40;

uint16_t Load16(const uint8_t* P) {
  return static_cast<uint16_t>(P[0] | (P[1] << 8));
}

struct ParsedTe {
  TeInfo Info;
  std::vector<size_t> FixupOffsets;
};

// TE images carry no more than their header and the PE section table, so
// they are read here directly, every offset checked against the buffer.
ParsedTe ParseTe(std::span<const uint8_t> Te) {
  if (Te.size() < kTeHeaderSize || Load16(&Te[0]) != kTeSignature)
    throw PeError("not a TE image");
  if (Load16(&Te[2]) != kMachineI386)
    throw PeError("not an IA-32 TE image");
  ParsedTe P;
  const size_t Sections = Te[4];
  P.Info.StrippedSize = Load16(&Te[6]);
  P.Info.ImageBase = Load32(&Te[0x10]);
  const uint32_t RelocRva = Load32(&Te[0x18]);
  const uint32_t RelocSize = Load32(&Te[0x1C]);
  if (P.Info.StrippedSize < kTeHeaderSize)
    throw PeError("TE stripped size below its header");
  if (kTeHeaderSize + Sections * kTeSectionEntrySize > Te.size())
    throw PeError("TE section table runs past the image");
  // File offset of Bytes bytes at Rva, inside one section's raw data.
  const auto OffsetOf = [&](uint32_t Rva, uint64_t Bytes) -> std::optional<size_t> {
    for (size_t I = 0; I < Sections; ++I) {
      const uint8_t* S = &Te[kTeHeaderSize + I * kTeSectionEntrySize];
      const uint64_t Va = Load32(S + 12);
      const uint64_t Size = std::min(Load32(S + 8), Load32(S + 16));
      if (Rva < Va || Rva + Bytes > Va + Size)
        continue;
      const uint64_t Raw = Load32(S + 20);
      if (Raw < P.Info.StrippedSize)
        return std::nullopt;
      const uint64_t Offset = Raw - P.Info.StrippedSize + kTeHeaderSize + (Rva - Va);
      if (Offset + Bytes > Te.size())
        return std::nullopt;
      return static_cast<size_t>(Offset);
    }
    return std::nullopt;
  };
  if (RelocSize == 0)
    return P;
  const auto Directory = OffsetOf(RelocRva, RelocSize);
  if (!Directory)
    throw PeError("TE relocation directory lies outside the image's data");
  for (size_t Block = 0; Block < RelocSize;) {
    if (RelocSize - Block < 8)
      throw PeError("TE relocation block cut short");
    const uint32_t Page = Load32(&Te[*Directory + Block]);
    const uint32_t Size = Load32(&Te[*Directory + Block + 4]);
    if (Size < 8 || Size % 2 != 0 || Size > RelocSize - Block)
      throw PeError("TE relocation block with a bad size " + Hex(Size));
    for (size_t Entry = Block + 8; Entry < Block + Size; Entry += 2) {
      const uint16_t Word = Load16(&Te[*Directory + Entry]);
      const uint8_t Type = static_cast<uint8_t>(Word >> 12);
      const uint32_t Rva = Page + (Word & 0xFFFu);
      if (Type == kRelAbsolute)
        continue;
      if (Type != kRelHighLow)
        throw PeError("base relocation of type " + std::to_string(Type) + " at RVA " + Hex(Rva) +
                      " (only HIGHLOW is used on IA-32)");
      const auto Site = OffsetOf(Rva, 4);
      if (!Site)
        throw PeError("base relocation at RVA " + Hex(Rva) + " lies outside the image's data");
      P.FixupOffsets.push_back(*Site);
    }
    Block += Size;
  }
  P.Info.Relocations = P.FixupOffsets.size();
  return P;
}

} // namespace

Pe32Info ReadPe32(std::span<const uint8_t> Image) {
  return Parse(Image).Info;
}

size_t RebasePe32(std::span<uint8_t> Image, uint32_t NewBase) {
  const ParsedImage P = Parse(Image);
  const uint32_t Delta = NewBase - P.Info.ImageBase; // modulo 2^32, as the loader adds it
  for (size_t Offset : P.FixupOffsets)
    Store32(Image.data() + Offset, Load32(Image.data() + Offset) + Delta);
  Store32(Image.data() + P.ImageBaseOffset, NewBase);
  return P.FixupOffsets.size();
}

TeInfo ReadTe(std::span<const uint8_t> Image) {
  return ParseTe(Image).Info;
}

size_t RebaseTe(std::span<uint8_t> Image, uint32_t NewBase) {
  const ParsedTe P = ParseTe(Image);
  const uint32_t Delta = NewBase - P.Info.ImageBase;
  for (size_t Offset : P.FixupOffsets)
    Store32(Image.data() + Offset, Load32(Image.data() + Offset) + Delta);
  Store32(Image.data() + 0x10, NewBase);
  Store32(Image.data() + 0x14, 0); // the TE header's ImageBase is 64-bit
  return P.FixupOffsets.size();
}

} // namespace pe
