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

// The relocations of a laid-out image, each of its machine's one type and
// checked to patch its bytes inside one section; Site maps an RVA and a
// width to where it is patched.
template <typename SiteOf>
sio::Result<std::vector<size_t>> Sites(const PeFile& File, std::span<const uint8_t> Memory,
                                       SiteOf Site) {
  const MachineInfo* Mode = File.Mode();
  if (Mode == nullptr)
    return sio::Fail("neither an IA-32 PE32 nor an X64 PE32+ image");
  auto Relocations = ReadBaseRelocations(File, Memory);
  if (!Relocations)
    return Relocations.Failure();
  std::vector<size_t> Out;
  for (const BaseRelocation& R : *Relocations) {
    if (R.Type != Mode->RelocationType)
      return sio::Fail("base relocation of type " + std::to_string(R.Type) + " at RVA " +
                       Hex(R.Rva) + " (only " + Mode->RelocationName + " is used on " + Mode->Name +
                       ")");
    const std::optional<size_t> At = Site(R.Rva, Mode->SiteBytes);
    if (!At)
      return sio::Fail("base relocation at RVA " + Hex(R.Rva) + " lies outside the image's data");
    Out.push_back(*At);
  }
  return Out;
}

// File offset of the Width bytes at Rva, if they lie in one section's raw data.
std::optional<size_t> FileOffsetOf(const PeFile& File, uint32_t Rva, uint32_t Width) {
  for (const SectionHeader& S : File.Sections) {
    const uint64_t Bytes = std::min(S.LoadedSize(), S.RawSize);
    if (Rva < S.VirtualAddress || uint64_t{Rva} + Width > uint64_t{S.VirtualAddress} + Bytes)
      continue;
    const uint64_t Offset = uint64_t{S.RawOffset} + (Rva - S.VirtualAddress);
    if (Offset + Width > File.FileSize)
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
  std::vector<size_t> FixupOffsets; // file offsets of the relocation targets
  uint32_t SiteBytes = 0;           // bytes each target holds
};

sio::Result<ParsedImage> Parse(std::span<const uint8_t> Image) {
  auto Read = ReadPeFile(Image);
  if (!Read)
    return Read.Failure();
  const MachineInfo* Mode = Read->Mode();
  if (Mode == nullptr)
    return sio::Fail("neither an IA-32 PE32 nor an X64 PE32+ image");
  auto Memory = LayOutImage(*Read, Image);
  if (!Memory)
    return Memory.Failure();
  auto Offsets = Sites(*Read, *Memory, [&](uint32_t Rva, uint32_t Width) {
    return FileOffsetOf(*Read, Rva, Width);
  });
  if (!Offsets)
    return Offsets.Failure();
  // The headers through the section table, and the relocation directory
  // wherever section data places it in the file.
  std::vector<ReservedBytes> Reserved = {
      {0, Read->SectionTableOffset + uint64_t{Read->Sections.size()} * sizeof(SectionTableEntry)}};
  AddFileSpans(*Read, Read->RelocationRva, Read->RelocationSize, Reserved);
  if (auto Apart = CheckSitesApart(*Offsets, Reserved, Mode->SiteBytes); !Apart)
    return Apart.Failure();
  return ParsedImage{std::move(*Read), std::move(*Offsets), Mode->SiteBytes};
}

// A move the image can make: none, or one its relocations carry out, to an
// address its machine can hold (below 4 GiB for a PE32).
sio::Result<void> MayMove(const PeFile& File, uint64_t To, size_t Relocations) {
  const uint64_t From = File.ImageBase;
  if (File.Magic == kMagicPe32 && To > UINT32_MAX)
    return sio::Fail("a PE32 image cannot move to " + Hex(To, 8) + ", above 4 GiB");
  if (From != To && Relocations == 0)
    return sio::Fail(sio::ErrorKind::Refused, "the image must move from " + Hex(From, 8) + " to " +
                                                  Hex(To, 8) + " but has no base relocations");
  return {};
}

} // namespace

sio::Result<void> CheckSitesApart(std::span<const size_t> Sites,
                                  std::span<const ReservedBytes> Reserved, uint32_t SiteBytes) {
  std::vector<size_t> Sorted(Sites.begin(), Sites.end());
  std::sort(Sorted.begin(), Sorted.end());
  for (size_t I = 1; I < Sorted.size(); ++I) {
    if (Sorted[I] - Sorted[I - 1] < SiteBytes)
      return sio::Fail("base relocations at offsets " + Hex(Sorted[I - 1]) + " and " +
                       Hex(Sorted[I]) + " patch the same bytes");
  }
  for (const ReservedBytes& R : Reserved) {
    // The first site that ends past R.Begin is the only one that can reach into R.
    const auto First =
        std::lower_bound(Sorted.begin(), Sorted.end(), R.Begin,
                         [&](size_t Site, uint64_t At) { return Site + SiteBytes <= At; });
    if (First != Sorted.end() && *First < R.End)
      return sio::Fail("base relocation at offset " + Hex(*First) +
                       " patches the image's headers or its relocation directory");
  }
  return {};
}

void AddToSites(std::span<uint8_t> Bytes, std::span<const size_t> Sites, uint64_t Delta,
                uint32_t SiteBytes) {
  for (size_t Offset : Sites) {
    if (SiteBytes == 8) {
      pi::Le64 Value;
      pi::ReadRecord(Bytes, Offset, Value);
      Value = Value + Delta;
      pi::WriteRecord(Bytes, Offset, Value);
    } else {
      pi::Le32 Value;
      pi::ReadRecord(Bytes, Offset, Value);
      Value = Value + static_cast<uint32_t>(Delta);
      pi::WriteRecord(Bytes, Offset, Value);
    }
  }
}

sio::Result<Pe32Info> ReadPe32(std::span<const uint8_t> Image) {
  auto P = Parse(Image);
  if (!P)
    return P.Failure();
  Pe32Info Info;
  Info.ImageBase = P->File.ImageBase;
  Info.Machine = P->File.Machine;
  Info.SectionAlignment = P->File.SectionAlignment;
  Info.FileAlignment = P->File.FileAlignment;
  Info.EntryPoint = P->File.EntryRva;
  Info.Relocations = P->FixupOffsets.size();
  return Info;
}

sio::Result<size_t> RebasePe32(std::span<uint8_t> Image, uint64_t NewBase) {
  auto P = Parse(Image);
  if (!P)
    return P.Failure();
  if (auto Move = MayMove(P->File, NewBase, P->FixupOffsets.size()); !Move)
    return Move.Failure();
  AddToSites(Image, P->FixupOffsets, NewBase - P->File.ImageBase, P->SiteBytes);
  // ImageBase is 32 bits wide in a PE32 optional header, 64 in a PE32+ one.
  if (P->File.Magic == kMagicPe32Plus) {
    pi::Le64 Base;
    Base = NewBase;
    pi::WriteRecord(Image, P->File.ImageBaseOffset, Base);
  } else {
    pi::Le32 Base;
    Base = static_cast<uint32_t>(NewBase);
    pi::WriteRecord(Image, P->File.ImageBaseOffset, Base);
  }
  return P->FixupOffsets.size();
}

sio::Result<size_t> RelocateLaidOutImage(const PeFile& File, std::span<uint8_t> Memory,
                                         uint64_t NewBase) {
  auto Offsets = Sites(File, Memory, [&](uint32_t Rva, uint32_t Width) -> std::optional<size_t> {
    if (uint64_t{Rva} + Width > File.SizeOfImage || uint64_t{Rva} + Width > Memory.size())
      return std::nullopt;
    return Rva;
  });
  if (!Offsets)
    return Offsets.Failure();
  if (auto Move = MayMove(File, NewBase, Offsets->size()); !Move)
    return Move.Failure();
  AddToSites(Memory, *Offsets, NewBase - File.ImageBase, File.Mode()->SiteBytes);
  return Offsets->size();
}

} // namespace pe
