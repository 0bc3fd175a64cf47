// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pe/TeImage.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "common/Hex.h"
#include "pe/PeFile.h"
#include "pe/PeRebase.h"

namespace pe {
namespace {

using pi::ReadRecord;
using pi::TeHeader;
using pi::WriteRecord;
using sio::Hex;

struct ParsedTe {
  TeInfo Info;
  std::vector<size_t> Sites; // offsets of the relocation targets in the TE bytes
  std::vector<SectionTableEntry> Sections;
  const MachineInfo* Mode = nullptr;
};

// TE images carry no more than their header and the PE section table, so
// they are read here directly, every offset checked against the buffer.
sio::Result<ParsedTe> ParseTe(std::span<const uint8_t> Te) {
  TeHeader H;
  if (!ReadRecord(Te, 0, H) || H.Signature != pi::kTeSignature)
    return sio::Fail("not a TE image");
  const MachineInfo* Mode = FindMachine(H.Machine);
  if (Mode == nullptr)
    return sio::Fail("neither an IA-32 nor an X64 TE image (machine " + Hex(H.Machine) + ")");
  ParsedTe P;
  P.Mode = Mode;
  P.Info.Machine = H.Machine;
  P.Info.StrippedSize = H.StrippedSize;
  P.Info.ImageBase = H.ImageBase;
  if (Mode->Magic == kMagicPe32 && P.Info.ImageBase > UINT32_MAX)
    return sio::Fail("IA-32 TE image based at " + Hex(P.Info.ImageBase, 8) + ", above 4 GiB");
  P.Info.Subsystem = H.Subsystem;
  P.Info.EntryRva = H.AddressOfEntryPoint;
  const uint32_t RelocRva = H.BaseRelocation.VirtualAddress;
  const uint32_t RelocSize = H.BaseRelocation.Size;
  P.Info.HasRelocationDirectory = RelocRva != 0 && RelocSize != 0;
  if (P.Info.StrippedSize < pi::kTeHeaderSize)
    return sio::Fail("TE stripped size below its header");
  if (pi::kTeHeaderSize + H.NumberOfSections * sizeof(SectionTableEntry) > Te.size())
    return sio::Fail("TE section table runs past the image");
  P.Sections.resize(H.NumberOfSections);
  for (size_t I = 0; I < P.Sections.size(); ++I) {
    SectionTableEntry& S = P.Sections[I];
    ReadRecord(Te, pi::kTeHeaderSize + I * sizeof S, S);
    const uint64_t Loaded = S.VirtualSize ? S.VirtualSize : S.SizeOfRawData;
    if (uint64_t{S.VirtualAddress} + Loaded > kMaxImageSize)
      return sio::Fail("TE section " + std::to_string(I) + " lies beyond " + Hex(kMaxImageSize) +
                       " bytes");
    if (S.SizeOfRawData != 0 &&
        (S.PointerToRawData < P.Info.StrippedSize ||
         uint64_t{S.PointerToRawData} - P.Info.StrippedSize + pi::kTeHeaderSize + S.SizeOfRawData >
             Te.size()))
      return sio::Fail("TE section " + std::to_string(I) + " data lies outside the image");
  }
  // File offset of Bytes bytes at Rva, inside one section's raw data.
  const auto OffsetOf = [&](uint32_t Rva, uint64_t Bytes) -> std::optional<size_t> {
    for (const SectionTableEntry& S : P.Sections) {
      const uint64_t Va = S.VirtualAddress;
      const uint64_t Size = std::min<uint32_t>(S.VirtualSize, S.SizeOfRawData);
      if (Rva < Va || Rva + Bytes > Va + Size)
        continue;
      return static_cast<size_t>(S.PointerToRawData - P.Info.StrippedSize + pi::kTeHeaderSize +
                                 (Rva - Va));
    }
    return std::nullopt;
  };
  if (RelocSize == 0)
    return P;
  const auto Directory = OffsetOf(RelocRva, RelocSize);
  if (!Directory)
    return sio::Fail("TE relocation directory lies outside the image's data");
  auto Relocations = ReadRelocationBlocks(Te.subspan(*Directory, RelocSize));
  if (!Relocations)
    return Relocations.Within("TE");
  for (const BaseRelocation& R : *Relocations) {
    if (R.Type != Mode->RelocationType)
      return sio::Fail("base relocation of type " + std::to_string(R.Type) + " at RVA " +
                       Hex(R.Rva) + " (only " + Mode->RelocationName + " is used on " + Mode->Name +
                       ")");
    const auto Site = OffsetOf(R.Rva, Mode->SiteBytes);
    if (!Site)
      return sio::Fail("base relocation at RVA " + Hex(R.Rva) + " lies outside the image's data");
    P.Sites.push_back(*Site);
  }
  const std::array<ReservedBytes, 2> Reserved = {{
      {0, pi::kTeHeaderSize + P.Sections.size() * sizeof(SectionTableEntry)},
      {*Directory, *Directory + RelocSize},
  }};
  if (auto Apart = CheckSitesApart(P.Sites, Reserved, Mode->SiteBytes); !Apart)
    return Apart.Failure();
  P.Info.Relocations = P.Sites.size();
  return P;
}

} // namespace

bool LooksLikeTe(std::span<const uint8_t> Bytes) {
  TeHeader H;
  return ReadRecord(Bytes, 0, H) && H.Signature == pi::kTeSignature;
}

sio::Result<TeImage> ConvertToTe(std::span<const uint8_t> Image) {
  auto Read = ReadPeFile(Image);
  if (!Read)
    return Read.Failure();
  const PeFile& Pe = *Read;
  if (Pe.Mode() == nullptr)
    return sio::Fail("neither an IA-32 PE32 nor an X64 PE32+ image");
  if (Pe.SectionAlignment != Pe.FileAlignment)
    return sio::Fail(sio::ErrorKind::Refused,
                     "TE needs the section alignment equal to the file alignment");
  if (Pe.Sections.size() > 0xFF || Pe.Subsystem > 0xFF)
    return sio::Fail(sio::ErrorKind::Refused,
                     "section count or subsystem does not fit a TE header byte");
  if (Pe.SectionTableOffset > 0xFFFF || Pe.SectionTableOffset < pi::kTeHeaderSize ||
      Pe.SectionTableOffset > Image.size())
    return sio::Fail(sio::ErrorKind::Refused,
                     "headers end at an offset a TE header cannot express");
  TeImage Te;
  Te.StrippedSize = static_cast<uint16_t>(Pe.SectionTableOffset);
  TeHeader H{};
  H.Signature = pi::kTeSignature;
  H.Machine = Pe.Machine;
  H.NumberOfSections = static_cast<uint8_t>(Pe.Sections.size());
  H.Subsystem = static_cast<uint8_t>(Pe.Subsystem);
  H.StrippedSize = Te.StrippedSize;
  H.AddressOfEntryPoint = Pe.EntryRva;
  H.BaseOfCode = Pe.BaseOfCode;
  H.ImageBase = Pe.ImageBase;
  H.BaseRelocation.VirtualAddress = Pe.RelocationRva;
  H.BaseRelocation.Size = Pe.RelocationSize;
  H.Debug.VirtualAddress = Pe.DebugRva;
  H.Debug.Size = Pe.DebugSize;
  Te.Bytes.resize(sizeof H);
  WriteRecord(std::span<uint8_t>(Te.Bytes), 0, H);
  Te.Bytes.insert(Te.Bytes.end(), Image.begin() + Te.StrippedSize, Image.end());
  return Te;
}

sio::Result<TeInfo> ReadTe(std::span<const uint8_t> Image) {
  auto P = ParseTe(Image);
  if (!P)
    return P.Failure();
  return P->Info;
}

sio::Result<TeInfo> ValidateTeImage(std::span<const uint8_t> Image) {
  auto P = ParseTe(Image);
  if (!P)
    return P.Failure();
  const TeInfo& Info = P->Info;
  if (Info.Subsystem != kSubsystemEfiBootServiceDriver)
    return sio::Fail("subsystem: " + std::to_string(Info.Subsystem) +
                     ", EFI_BOOT_SERVICE_DRIVER is 11");
  const bool InCode = std::any_of(P->Sections.begin(), P->Sections.end(), [&](const auto& S) {
    const uint64_t Loaded = S.VirtualSize ? S.VirtualSize : S.SizeOfRawData;
    return (S.Characteristics & kSectionExecute) && Info.EntryRva >= S.VirtualAddress &&
           Info.EntryRva < S.VirtualAddress + Loaded;
  });
  if (Info.EntryRva == 0 || !InCode)
    return sio::Fail("entry point: RVA " + Hex(Info.EntryRva) + " lies in no executable section");
  if (!Info.HasRelocationDirectory || Info.Relocations == 0)
    return sio::Fail("base relocations: none; the image cannot be moved");
  const bool Writable = std::any_of(P->Sections.begin(), P->Sections.end(), [](const auto& S) {
    return (S.Characteristics & kSectionWrite) && (S.VirtualSize != 0 || S.SizeOfRawData != 0);
  });
  if (Writable)
    return sio::Fail("no writable data: a section is writable and non-empty");
  return Info;
}

sio::Result<size_t> RebaseTe(std::span<uint8_t> Image, uint64_t NewBase) {
  auto P = ParseTe(Image);
  if (!P)
    return P.Failure();
  if (P->Mode->Magic == kMagicPe32 && NewBase > UINT32_MAX)
    return sio::Fail("an IA-32 TE image cannot move to " + Hex(NewBase, 8) + ", above 4 GiB");
  if (NewBase != P->Info.ImageBase && P->Sites.empty())
    return sio::Fail(sio::ErrorKind::Refused,
                     "the image must move to " + Hex(NewBase, 8) + " but has no base relocations");
  AddToSites(Image, P->Sites, NewBase - P->Info.ImageBase, P->Mode->SiteBytes);
  TeHeader H;
  ReadRecord(Image, 0, H);
  H.ImageBase = NewBase; // 64 bits in the TE header whatever the machine
  WriteRecord(Image, 0, H);
  return P->Sites.size();
}

} // namespace pe
