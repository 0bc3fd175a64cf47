// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pe/DosStub.h"

#include <algorithm>
#include <map>

#include "common/Hex.h"
#include "pe/PeFile.h"
#include "pe/PeRebase.h"
#include "pe/PeRecords.h"

namespace pe {
namespace {

// The address a relocation site of Width bytes holds.
uint64_t ReadSite(std::span<const uint8_t> Image, size_t At, uint32_t Width) {
  if (Width == 8) {
    Le64 Value;
    pi::ReadRecord(Image, At, Value);
    return Value;
  }
  Le32 Value;
  pi::ReadRecord(Image, At, Value);
  return Value;
}

// Moves the RVAs and sizes both optional header forms hold down by Moved;
// returns the number of data directories that follow the header.
template <typename Header> uint32_t MoveOptionalHeader(Header& H, uint32_t Moved) {
  H.AddressOfEntryPoint = H.AddressOfEntryPoint - Moved;
  H.BaseOfCode = H.BaseOfCode != 0 ? H.BaseOfCode - Moved : 0;
  H.SizeOfImage = H.SizeOfImage - Moved;
  H.SizeOfHeaders = H.SizeOfHeaders - Moved;
  return H.NumberOfRvaAndSizes;
}

} // namespace

sio::Result<StubRemoval> DropDosStub(std::span<const uint8_t> Image) {
  auto Read = ReadPeFile(Image);
  if (!Read)
    return Read.Failure();
  const PeFile& File = *Read;
  const MachineInfo* Mode = File.Mode();
  if (Mode == nullptr)
    return sio::Fail("neither an IA-32 PE32 nor an X64 PE32+ image");
  if (File.SectionAlignment != File.FileAlignment)
    return sio::Fail(sio::ErrorKind::Refused, "section and file alignment differ");
  for (const SectionHeader& S : File.Sections)
    if (S.RawOffset != S.VirtualAddress)
      return sio::Fail(sio::ErrorKind::Refused,
                       "section " + S.Name + " is not laid out as in memory");
  DosHeader Dos;
  if (!pi::ReadRecord(Image, 0, Dos))
    return sio::Fail("no DOS header");
  const uint32_t PeHeader = Dos.NewHeaderOffset;
  if (PeHeader < sizeof(DosHeader))
    return sio::Fail("PE headers inside the DOS header");
  const uint32_t Moved = PeHeader - sizeof(DosHeader);
  if (Moved == 0)
    return StubRemoval{{Image.begin(), Image.end()}, 0};
  if (Moved % File.SectionAlignment != 0)
    return sio::Fail(sio::ErrorKind::Refused,
                     "a DOS stub of " + std::to_string(Moved) + " bytes is not a multiple of " +
                         "the section alignment " + std::to_string(File.SectionAlignment));

  // The fixed-up addresses and the sites, read before anything moves.
  auto Laid = LayOutImage(File, Image);
  if (!Laid)
    return Laid.Failure();
  auto Relocations = ReadBaseRelocations(File, *Laid);
  if (!Relocations)
    return Relocations.Failure();
  const uint64_t Base = File.ImageBase;
  for (const BaseRelocation& R : *Relocations) {
    if (R.Type != Mode->RelocationType)
      return sio::Fail("relocation type " + std::to_string(R.Type) + " at RVA " + sio::Hex(R.Rva) +
                       " cannot be moved");
    if (R.Rva < File.SizeOfHeaders || uint64_t(R.Rva) + Mode->SiteBytes > Image.size())
      return sio::Fail("relocation at RVA " + sio::Hex(R.Rva) + " outside the sections");
    const uint64_t Target = ReadSite(Image, R.Rva, Mode->SiteBytes);
    if (Target < Base + File.SizeOfHeaders || Target >= Base + File.SizeOfImage)
      return sio::Fail("the address fixed at RVA " + sio::Hex(R.Rva) +
                       " does not point into the sections");
  }

  // The headers right behind the DOS header, the sections right behind them.
  std::vector<uint8_t> Out(Image.begin(), Image.begin() + sizeof(DosHeader));
  Out.insert(Out.end(), Image.begin() + PeHeader, Image.end());
  std::span<uint8_t> Bytes(Out);
  Dos.NewHeaderOffset = sizeof(DosHeader);
  pi::WriteRecord(Bytes, 0, Dos);

  const size_t Optional = sizeof(DosHeader) + sizeof(CoffFileHeader);
  uint32_t Directories = 0;
  size_t DirectoriesAt = 0;
  if (File.Magic == kMagicPe32) {
    OptionalHeader32 Header;
    pi::ReadRecord(Bytes, Optional, Header);
    Header.Base.BaseOfData = Header.Base.BaseOfData != 0 ? Header.Base.BaseOfData - Moved : 0;
    Directories = MoveOptionalHeader(Header, Moved);
    pi::WriteRecord(Bytes, Optional, Header);
    DirectoriesAt = Optional + sizeof Header;
  } else {
    OptionalHeader64 Header;
    pi::ReadRecord(Bytes, Optional, Header);
    Directories = MoveOptionalHeader(Header, Moved);
    pi::WriteRecord(Bytes, Optional, Header);
    DirectoriesAt = Optional + sizeof Header;
  }
  for (uint32_t I = 0; I < Directories; ++I) {
    const size_t At = DirectoriesAt + I * sizeof(DataDirectory);
    DataDirectory Directory;
    pi::ReadRecord(Bytes, At, Directory);
    if (Directory.VirtualAddress != 0)
      Directory.VirtualAddress = Directory.VirtualAddress - Moved;
    pi::WriteRecord(Bytes, At, Directory);
  }
  const size_t Table = File.SectionTableOffset - Moved;
  for (size_t I = 0; I < File.Sections.size(); ++I) {
    SectionTableEntry Entry;
    pi::ReadRecord(Bytes, Table + I * sizeof(SectionTableEntry), Entry);
    Entry.VirtualAddress = Entry.VirtualAddress - Moved;
    Entry.PointerToRawData = Entry.PointerToRawData - Moved;
    pi::WriteRecord(Bytes, Table + I * sizeof(SectionTableEntry), Entry);
  }

  // Every fixed-up address moves with what it points at.
  std::vector<size_t> Sites;
  for (const BaseRelocation& R : *Relocations)
    Sites.push_back(R.Rva - Moved);
  AddToSites(Bytes, Sites, uint64_t{0} - Moved, Mode->SiteBytes);

  // The relocation directory again, for the moved sites: one block per 4 KiB
  // page, padded to 4 bytes, in the room the old one had.
  std::map<uint32_t, std::vector<uint16_t>> Pages;
  for (const BaseRelocation& R : *Relocations) {
    const uint32_t Site = R.Rva - Moved;
    Pages[Site & ~0xFFFu].push_back(
        static_cast<uint16_t>(Mode->RelocationType << 12 | (Site & 0xFFFu)));
  }
  std::vector<uint8_t> Directory;
  for (auto& [Page, Entries] : Pages) {
    if (Entries.size() % 2)
      Entries.push_back(kRelocationAbsolute);
    RelocationBlockHeader Block;
    Block.PageRva = Page;
    Block.BlockSize = static_cast<uint32_t>(sizeof Block + 2 * Entries.size());
    const size_t At = Directory.size();
    Directory.resize(At + Block.BlockSize);
    pi::WriteRecord(std::span<uint8_t>(Directory), At, Block);
    for (size_t I = 0; I < Entries.size(); ++I) {
      Le16 Entry;
      Entry = Entries[I];
      pi::WriteRecord(std::span<uint8_t>(Directory), At + sizeof Block + 2 * I, Entry);
    }
  }
  if (File.HasRelocations()) {
    if (Directory.size() != File.RelocationSize)
      return sio::Fail(sio::ErrorKind::Refused,
                       "the moved relocations take " + std::to_string(Directory.size()) +
                           " bytes, the directory has " + std::to_string(File.RelocationSize));
    std::copy(Directory.begin(), Directory.end(), Out.begin() + File.RelocationRva - Moved);
  }
  return StubRemoval{std::move(Out), Moved};
}

} // namespace pe
