// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "chip/ImageBoardValues.h"

#include <cstring>

#include "common/Hex.h"
#include "firmware/SioImageLayout.h"
#include "firmware/SioImageLayoutX64.h"
#include "pe/PeFile.h"
#include "pe/TeImage.h"
#include "pi/FfsFile.h"
#include "pi/Records.h"

namespace chip {
namespace {

// Where this build's link put the board record and the entry point of the
// image for Machine (IA-32 or X64).
struct Layout {
  uint32_t BoardConfigRva;
  uint32_t EntryRva;
};

sio::Result<Layout> LayoutFor(uint16_t Machine) {
  if (Machine == pe::kMachineI386)
    return Layout{sio::image::kBoardConfigRva, sio::image::kEntryRva};
  if (Machine == pe::kMachineX64)
    return Layout{sio::image::x64::kBoardConfigRva, sio::image::x64::kEntryRva};
  return sio::Fail("not this build's module image: machine " + sio::Hex(Machine));
}

} // namespace

sio::Result<uint32_t> BoardValuesFileOffset(std::span<const uint8_t> Image) {
  if (pe::LooksLikeTe(Image)) {
    // The TE form keeps the sections where they were and drops StrippedSize
    // bytes of headers for its own 40: RVA R lies at R - StrippedSize + 40.
    auto Te = pe::ReadTe(Image);
    if (!Te)
      return Te.Failure();
    auto Link = LayoutFor(Te->Machine);
    if (!Link)
      return Link.Failure();
    const uint32_t Rva = Link->BoardConfigRva;
    if (Te->EntryRva != Link->EntryRva)
      return sio::Fail("not this build's module image: entry point at RVA " +
                       sio::Hex(Te->EntryRva) + ", the link put it at " + sio::Hex(Link->EntryRva));
    const uint64_t Offset = uint64_t(Rva) + sizeof(pi::TeHeader) - Te->StrippedSize;
    if (Rva < Te->StrippedSize || Offset + sizeof(SioBoardConfig) > Image.size())
      return sio::Fail("the board record at RVA " + sio::Hex(Rva) + " is not in the TE image");
    return static_cast<uint32_t>(Offset);
  }
  auto File = pe::ReadPeFile(Image);
  if (!File)
    return File.Failure();
  auto Link = LayoutFor(File->Machine);
  if (!Link)
    return Link.Failure();
  const uint32_t Rva = Link->BoardConfigRva;
  if (File->EntryRva != Link->EntryRva)
    return sio::Fail("not this build's module image: entry point at RVA " +
                     sio::Hex(File->EntryRva) + ", the link put it at " + sio::Hex(Link->EntryRva));
  const pe::SectionHeader* Section = File->SectionAt(Rva);
  if (Section == nullptr || Section->Writable() ||
      Rva + sizeof(SioBoardConfig) > Section->VirtualAddress + Section->RawSize)
    return sio::Fail("the board record at RVA " + sio::Hex(Rva) +
                     " is not in a read-only section's file bytes");
  auto Laid = pe::LayOutImage(*File, Image);
  if (!Laid)
    return Laid.Failure();
  auto Relocations = pe::ReadBaseRelocations(*File, *Laid);
  if (!Relocations)
    return Relocations.Failure();
  for (const pe::BaseRelocation& R : *Relocations)
    if (R.Rva + pe::RelocationSiteBytes(R.Type) > Rva && R.Rva < Rva + sizeof(SioBoardConfig))
      return sio::Fail("a base relocation at RVA " + sio::Hex(R.Rva) +
                       " falls inside the board record");
  return Section->RawOffset + (Rva - Section->VirtualAddress);
}

sio::Result<ImageBoardRecord> ReadBoardRecord(std::span<const uint8_t> Image) {
  auto Offset = BoardValuesFileOffset(Image);
  if (!Offset)
    return Offset.Failure();
  SioBoardConfig Record;
  std::memcpy(&Record, Image.data() + *Offset, sizeof Record);
  // The pair after the reserved script bytes stops a script without an end
  // pair; an image where it is not (0x00, 0x00) would play on past them.
  if (Record.InitScriptClosing.Register != 0 || Record.InitScriptClosing.Value != 0)
    return sio::Fail("the board record's closing pair after the script is " +
                     sio::Hex(Record.InitScriptClosing.Register, 2) + ", " +
                     sio::Hex(Record.InitScriptClosing.Value, 2) + ", not (0x00, 0x00)");
  return ImageBoardRecord{*Offset, BoardValues::FromRecord(Record)};
}

sio::Result<BoardValues> ReadBoardValues(std::span<const uint8_t> Image) {
  auto Record = ReadBoardRecord(Image);
  if (!Record)
    return Record.Failure();
  return Record->Config;
}

sio::Result<BoardValues> ReadModuleFileBoardValues(std::span<const uint8_t> File) {
  auto Sections = pi::ListSections(File);
  if (!Sections)
    return Sections.Failure();
  for (const pi::SectionView& Section : *Sections)
    if (Section.Type == pi::section_type::kPe32 || Section.Type == pi::section_type::kTe)
      return ReadBoardValues(File.subspan(Section.DataOffset(), Section.DataSize()));
  return sio::Fail("no PE32 or TE section");
}

} // namespace chip
