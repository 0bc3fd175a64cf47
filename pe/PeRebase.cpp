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
  return ParsedImage{std::move(*Read), std::move(*Offsets)};
}

sio::Result<void> MayMove(uint64_t From, uint32_t To, size_t Relocations) {
  if (From != To && Relocations == 0)
    return sio::Fail("the image must move from " + Hex(From, 8) + " to " + Hex(To, 8) +
                     " but has no base relocations");
  return {};
}

} // namespace

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
