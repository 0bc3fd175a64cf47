// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pe/PeRebase.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "common/Hex.h"

namespace pe {
namespace {

using sio::Hex;

// The HIGHLOW relocations of a laid-out image, each checked to patch four
// bytes inside one section; Site maps an RVA to where it is patched.
template <typename SiteOf>
sio::Result<std::vector<size_t>> Sites(const PeFile& File, std::span<const uint8_t> Memory,
                                       SiteOf Site) {
  auto Relocations = ReadBaseRelocations(File, Memory);
  if (!Relocations)
    return Relocations.Failure();
  std::vector<size_t> Out;
  for (const BaseRelocation& R : *Relocations) {
    if (R.Type != kRelocationHighLow)
      return sio::Fail("base relocation of type " + std::to_string(R.Type) + " at RVA " +
                       Hex(R.Rva) + " (only HIGHLOW is used on IA-32)");
    const std::optional<size_t> At = Site(R.Rva);
    if (!At)
      return sio::Fail("base relocation at RVA " + Hex(R.Rva) + " lies outside the image's data");
    Out.push_back(*At);
  }
  return Out;
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

// The file bytes that hold the RVA range [Rva, Rva + Size): one span per
// section whose raw data covers part of it.
void AddFileSpans(const PeFile& File, uint32_t Rva, uint32_t Size,
                  std::vector<ReservedBytes>& Out) {
  const uint64_t Begin = Rva;
  const uint64_t End = Begin + Size;
  for (const SectionHeader& S : File.Sections) {
    const uint64_t Va = S.VirtualAddress;
    const uint64_t Lo = std::max(Begin, Va);
    const uint64_t Hi = std::min(End, Va + std::min(S.LoadedSize(), S.RawSize));
    if (Lo < Hi)
      Out.push_back({S.RawOffset + (Lo - Va), S.RawOffset + (Hi - Va)});
  }
}

struct ParsedImage {
  PeFile File;
  std::vector<size_t> FixupOffsets; // file offsets of the HIGHLOW targets
};

sio::Result<ParsedImage> Parse(std::span<const uint8_t> Image) {
  auto Read = ReadPeFile(Image);
  if (!Read)
    return Read.Failure();
  if (Read->Magic != kMagicPe32 || Read->Machine != kMachineI386)
    return sio::Fail("not an IA-32 PE32 image");
  auto Memory = LayOutImage(*Read, Image);
  if (!Memory)
    return Memory.Failure();
  auto Offsets = Sites(*Read, *Memory, [&](uint32_t Rva) { return FileOffsetOf(*Read, Rva); });
  if (!Offsets)
    return Offsets.Failure();
  // The headers through the section table, and the relocation directory
  // wherever section data places it in the file.
  std::vector<ReservedBytes> Reserved = {
      {0, Read->SectionTableOffset + uint64_t{Read->Sections.size()} * sizeof(SectionTableEntry)}};
  AddFileSpans(*Read, Read->RelocationRva, Read->RelocationSize, Reserved);
  if (auto Apart = CheckSitesApart(*Offsets, Reserved); !Apart)
    return Apart.Failure();
  return ParsedImage{std::move(*Read), std::move(*Offsets)};
}

sio::Result<void> MayMove(uint64_t From, uint32_t To, size_t Relocations) {
  if (From != To && Relocations == 0)
    return sio::Fail(sio::ErrorKind::Refused, "the image must move from " + Hex(From, 8) + " to " +
                                                  Hex(To, 8) + " but has no base relocations");
  return {};
}

} // namespace

sio::Result<void> CheckSitesApart(std::span<const size_t> Sites,
                                  std::span<const ReservedBytes> Reserved) {
  std::vector<size_t> Sorted(Sites.begin(), Sites.end());
  std::sort(Sorted.begin(), Sorted.end());
  for (size_t I = 1; I < Sorted.size(); ++I) {
    if (Sorted[I] - Sorted[I - 1] < 4)
      return sio::Fail("base relocations at offsets " + Hex(Sorted[I - 1]) + " and " +
                       Hex(Sorted[I]) + " patch the same bytes");
  }
  for (const ReservedBytes& R : Reserved) {
    // The first site that ends past R.Begin is the only one that can reach into R.
    const auto First = std::lower_bound(Sorted.begin(), Sorted.end(), R.Begin,
                                        [](size_t Site, uint64_t At) { return Site + 4 <= At; });
    if (First != Sorted.end() && *First < R.End)
      return sio::Fail("base relocation at offset " + Hex(*First) +
                       " patches the image's headers or its relocation directory");
  }
  return {};
}

void AddToSites(std::span<uint8_t> Bytes, std::span<const size_t> Sites, uint32_t Delta) {
  for (size_t Offset : Sites) {
    pi::Le32 Value;
    pi::ReadRecord(Bytes, Offset, Value);
    Value = Value + Delta;
    pi::WriteRecord(Bytes, Offset, Value);
  }
}

sio::Result<Pe32Info> ReadPe32(std::span<const uint8_t> Image) {
  auto P = Parse(Image);
  if (!P)
    return P.Failure();
  Pe32Info Info;
  Info.ImageBase = static_cast<uint32_t>(P->File.ImageBase);
  Info.SectionAlignment = P->File.SectionAlignment;
  Info.FileAlignment = P->File.FileAlignment;
  Info.EntryPoint = P->File.EntryRva;
  Info.Relocations = P->FixupOffsets.size();
  return Info;
}

sio::Result<size_t> RebasePe32(std::span<uint8_t> Image, uint32_t NewBase) {
  auto P = Parse(Image);
  if (!P)
    return P.Failure();
  if (auto Move = MayMove(P->File.ImageBase, NewBase, P->FixupOffsets.size()); !Move)
    return Move.Failure();
  AddToSites(Image, P->FixupOffsets, NewBase - static_cast<uint32_t>(P->File.ImageBase));
  pi::Le32 Base;
  Base = NewBase;
  pi::WriteRecord(Image, P->File.ImageBaseOffset, Base);
  return P->FixupOffsets.size();
}

sio::Result<size_t> RelocateLaidOutImage(const PeFile& File, std::span<uint8_t> Memory,
                                         uint32_t NewBase) {
  auto Offsets = Sites(File, Memory, [&](uint32_t Rva) -> std::optional<size_t> {
    if (uint64_t{Rva} + 4 > File.SizeOfImage || uint64_t{Rva} + 4 > Memory.size())
      return std::nullopt;
    return Rva;
  });
  if (!Offsets)
    return Offsets.Failure();
  if (auto Move = MayMove(File.ImageBase, NewBase, Offsets->size()); !Move)
    return Move.Failure();
  AddToSites(Memory, *Offsets, NewBase - static_cast<uint32_t>(File.ImageBase));
  return Offsets->size();
}

} // namespace pe
