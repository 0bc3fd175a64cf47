// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pe/PeFile.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include <llvm/Object/COFF.h>
#include <llvm/Support/Error.h>
#include <llvm/Support/MemoryBufferRef.h>

#include "common/Hex.h"

namespace pe {
namespace {

using pi::ReadRecord;
using sio::Hex;

bool SaneAlignment(uint32_t Alignment) {
  return std::has_single_bit(Alignment) && Alignment <= kMaxAlignment;
}

// The optional header fields that bound everything else, checked against the
// file and the limits of a PEI module.
template <typename Header>
sio::Result<void> CheckOptionalHeader(const Header& H, uint64_t SectionTableEnd, size_t FileSize) {
  if (H.SizeOfImage == 0 || H.SizeOfImage > kMaxImageSize)
    return sio::Fail("SizeOfImage " + Hex(H.SizeOfImage) + " is not between 1 and " +
                     Hex(kMaxImageSize) + " bytes");
  if (!SaneAlignment(H.SectionAlignment) || !SaneAlignment(H.FileAlignment) ||
      H.FileAlignment > H.SectionAlignment)
    return sio::Fail("SectionAlignment " + Hex(H.SectionAlignment) + " and FileAlignment " +
                     Hex(H.FileAlignment) +
                     " are not powers of two up to 64 KiB with FileAlignment <= SectionAlignment");
  if (H.SizeOfHeaders < SectionTableEnd || H.SizeOfHeaders > FileSize ||
      H.SizeOfHeaders > H.SizeOfImage)
    return sio::Fail("SizeOfHeaders " + Hex(H.SizeOfHeaders) +
                     " does not cover the section table or lies outside the file or the image");
  if (H.NumberOfRvaAndSizes > kMaxDirectories)
    return sio::Fail(std::to_string(H.NumberOfRvaAndSizes) + " data directories, at most " +
                     std::to_string(kMaxDirectories));
  return {};
}

// LLVM's COFF reader trusts the header offsets, sizes and directory entries of
// an image and reads wherever they point; a truncated or crafted file makes it
// read outside the buffer. So the structure is bounds-checked here first, and
// only a file whose headers, section data and data directories all lie in
// the file reaches it. Directories that would make LLVM walk further tables
// (all but base relocations and debug entries) have no
// place in a PEI module running in place and are refused.
sio::Result<void> CheckStructure(std::span<const uint8_t> Bytes) {
  DosHeader Dos;
  if (!ReadRecord(Bytes, 0, Dos) || Dos.Magic != kDosMagic)
    return sio::Fail("no MZ header");
  CoffFileHeader Coff;
  const uint64_t PeHeader = Dos.NewHeaderOffset;
  if (PeHeader > Bytes.size() || !ReadRecord(Bytes, PeHeader, Coff))
    return sio::Fail("PE header at " + Hex(PeHeader) + " lies past the end");
  if (Coff.Signature != kPeSignature)
    return sio::Fail("no PE signature");
  const uint64_t Optional = PeHeader + sizeof Coff;
  const uint64_t Sections = Coff.NumberOfSections;
  const uint64_t SectionTable = Optional + Coff.SizeOfOptionalHeader;
  const uint64_t SectionTableEnd = SectionTable + sizeof(SectionTableEntry) * Sections;
  if (Coff.SizeOfOptionalHeader < 2 || SectionTableEnd > Bytes.size())
    return sio::Fail("optional header or section table runs past the end of the file");
  if (Sections > kMaxSections)
    return sio::Fail(std::to_string(Sections) + " sections, at most " +
                     std::to_string(kMaxSections));
  const auto OptionalBytes = Bytes.subspan(Optional, Coff.SizeOfOptionalHeader);
  Le16 Magic;
  ReadRecord(OptionalBytes, 0, Magic);
  uint64_t DirectoriesAt = 0;
  uint32_t Directories = 0, SizeOfImage = 0;
  const auto Check = [&](auto& Header) -> sio::Result<void> {
    if (!ReadRecord(OptionalBytes, 0, Header))
      return sio::Fail("optional header is cut short");
    DirectoriesAt = sizeof Header;
    Directories = Header.NumberOfRvaAndSizes;
    SizeOfImage = Header.SizeOfImage;
    return CheckOptionalHeader(Header, SectionTableEnd, Bytes.size());
  };
  sio::Result<void> Fields =
      sio::Fail("optional header magic " + Hex(Magic) + " is neither PE32 nor PE32+");
  if (Magic == kMagicPe32) {
    OptionalHeader32 H;
    Fields = Check(H);
  } else if (Magic == kMagicPe32Plus) {
    OptionalHeader64 H;
    Fields = Check(H);
  }
  if (!Fields)
    return Fields;
  if (DirectoriesAt + sizeof(DataDirectory) * Directories > OptionalBytes.size())
    return sio::Fail("data directories run past the optional header");
  std::vector<SectionTableEntry> Table(Sections);
  for (uint64_t I = 0; I < Sections; ++I) {
    SectionTableEntry& S = Table[I];
    ReadRecord(Bytes, SectionTable + sizeof S * I, S);
    const uint64_t RawSize = S.SizeOfRawData, RawOffset = S.PointerToRawData;
    if (RawSize != 0 && RawOffset + RawSize > Bytes.size())
      return sio::Fail("section " + std::to_string(I) + " data runs past the end of the file");
    const uint64_t Loaded = S.VirtualSize ? S.VirtualSize : S.SizeOfRawData;
    if (uint64_t{S.VirtualAddress} + Loaded > SizeOfImage)
      return sio::Fail("section " + std::to_string(I) + " (" + Hex(S.VirtualAddress) + "+" +
                       Hex(Loaded) + ") lies outside the image (SizeOfImage " + Hex(SizeOfImage) +
                       ")");
  }
  for (uint32_t D = 0; D < Directories; ++D) {
    DataDirectory Entry;
    ReadRecord(OptionalBytes, DirectoriesAt + sizeof Entry * D, Entry);
    const uint32_t Rva = Entry.VirtualAddress, Size = Entry.Size;
    if (Rva == 0 && Size == 0)
      continue;
    if (D != kDirectoryBaseRelocation && D != kDirectoryDebug)
      return sio::Fail("data directory " + std::to_string(D) +
                       " is present; a PEI module carries none but base relocations and debug "
                       "entries");
    const bool Backed = std::any_of(Table.begin(), Table.end(), [&](const SectionTableEntry& S) {
      return Rva >= S.VirtualAddress &&
             uint64_t{Rva} + Size <=
                 uint64_t{S.VirtualAddress} + std::min<uint32_t>(S.VirtualSize, S.SizeOfRawData);
    });
    if (!Backed)
      return sio::Fail("data directory " + std::to_string(D) + " (" + Hex(Rva) + "+" + Hex(Size) +
                       ") lies outside the file's section data");
  }
  return {};
}

} // namespace

std::string SectionHeader::Flags() const {
  std::string Text = "---";
  if (Characteristics & kSectionRead)
    Text[0] = 'r';
  if (Characteristics & kSectionWrite)
    Text[1] = 'w';
  if (Characteristics & kSectionExecute)
    Text[2] = 'x';
  return Text;
}

const SectionHeader* PeFile::SectionAt(uint32_t Rva) const {
  for (const auto& S : Sections) {
    if (Rva >= S.VirtualAddress && uint64_t(Rva) < uint64_t(S.VirtualAddress) + S.LoadedSize())
      return &S;
  }
  return nullptr;
}

sio::Result<PeFile> ReadPeFile(std::span<const uint8_t> Bytes) {
  if (auto Structure = CheckStructure(Bytes); !Structure)
    return Structure.Within("malformed image");
  llvm::MemoryBufferRef Buffer(
      llvm::StringRef(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()), "image");
  auto Object = llvm::object::COFFObjectFile::create(Buffer);
  if (!Object)
    return sio::Fail("not a PE/COFF file: " + llvm::toString(Object.takeError()));
  const llvm::object::COFFObjectFile& Coff = **Object;
  if (Coff.getDOSHeader() == nullptr)
    return sio::Fail("not a PE image: no MZ header");

  PeFile File;
  File.FileSize = Bytes.size();
  File.Machine = Coff.getMachine();
  const auto OffsetOf = [&](const void* Field) {
    return static_cast<uint32_t>(static_cast<const uint8_t*>(Field) - Bytes.data());
  };
  // PE32 and PE32+ optional headers differ in layout but not in these fields.
  const auto TakeOptionalHeader = [&](const auto* Header) {
    File.Magic = Header->Magic;
    File.Subsystem = Header->Subsystem;
    File.EntryRva = Header->AddressOfEntryPoint;
    File.ImageBase = Header->ImageBase;
    File.SizeOfImage = Header->SizeOfImage;
    File.SizeOfHeaders = Header->SizeOfHeaders;
    File.SectionAlignment = Header->SectionAlignment;
    File.FileAlignment = Header->FileAlignment;
    File.BaseOfCode = Header->BaseOfCode;
    File.ImageBaseOffset = OffsetOf(&Header->ImageBase);
  };
  if (const auto* Header = Coff.getPE32Header())
    TakeOptionalHeader(Header);
  else if (const auto* Header = Coff.getPE32PlusHeader())
    TakeOptionalHeader(Header);
  else
    return sio::Fail("not a PE image: no optional header");
  if (const auto* Directory = Coff.getDataDirectory(kDirectoryBaseRelocation)) {
    File.RelocationRva = Directory->RelativeVirtualAddress;
    File.RelocationSize = Directory->Size;
  }
  if (const auto* Directory = Coff.getDataDirectory(kDirectoryDebug)) {
    File.DebugRva = Directory->RelativeVirtualAddress;
    File.DebugSize = Directory->Size;
  }
  File.SectionTableOffset = Coff.getDOSHeader()->AddressOfNewExeHeader + 4 +
                            sizeof(llvm::object::coff_file_header) +
                            Coff.getCOFFHeader()->SizeOfOptionalHeader;
  for (const llvm::object::SectionRef& Ref : Coff.sections()) {
    const auto* Raw = Coff.getCOFFSection(Ref);
    SectionHeader S;
    if (auto Name = Coff.getSectionName(Raw)) {
      S.Name = Name->str();
    } else {
      llvm::consumeError(Name.takeError());
      S.Name.assign(Raw->Name, strnlen(Raw->Name, sizeof Raw->Name));
    }
    S.VirtualAddress = Raw->VirtualAddress;
    S.VirtualSize = Raw->VirtualSize;
    S.RawOffset = Raw->PointerToRawData;
    S.RawSize = Raw->SizeOfRawData;
    S.Characteristics = Raw->Characteristics;
    File.Sections.push_back(std::move(S));
  }
  return File;
}

sio::Result<std::vector<uint8_t>> LayOutImage(const PeFile& File, std::span<const uint8_t> Bytes) {
  // ReadPeFile bounded SizeOfImage, SizeOfHeaders and every section; these
  // hold for any PeFile it gave, and are checked again for one made otherwise.
  if (File.SizeOfImage == 0 || File.SizeOfImage > kMaxImageSize ||
      File.SizeOfHeaders > File.SizeOfImage || File.SizeOfHeaders > Bytes.size())
    return sio::Fail("headers do not fit the image (SizeOfImage " + Hex(File.SizeOfImage) + ")");
  std::vector<uint8_t> Image(File.SizeOfImage, 0);
  std::copy_n(Bytes.begin(), File.SizeOfHeaders, Image.begin());
  for (const auto& S : File.Sections) {
    if (uint64_t(S.VirtualAddress) + S.LoadedSize() > File.SizeOfImage ||
        S.VirtualAddress < File.SizeOfHeaders)
      return sio::Fail("section " + S.Name + " (" + Hex(S.VirtualAddress) + "+" +
                       Hex(S.LoadedSize()) + ") lies outside the image");
    const uint32_t Copied = std::min(S.RawSize, S.LoadedSize());
    if (uint64_t(S.RawOffset) + Copied > Bytes.size())
      return sio::Fail("section " + S.Name + " data runs past the end of the file");
    std::copy_n(Bytes.begin() + S.RawOffset, Copied, Image.begin() + S.VirtualAddress);
  }
  return Image;
}

sio::Result<std::vector<BaseRelocation>> ReadRelocationBlocks(std::span<const uint8_t> Directory) {
  std::vector<BaseRelocation> Relocations;
  for (size_t Block = 0; Block < Directory.size();) {
    RelocationBlockHeader H;
    if (!ReadRecord(Directory, Block, H))
      return sio::Fail("relocation block header at " + Hex(Block) + " is cut short");
    const uint32_t Size = H.BlockSize;
    if (Size < sizeof H || Size % 2 != 0 || Size > Directory.size() - Block)
      return sio::Fail("relocation block at " + Hex(Block) + " has a bad size " + Hex(Size));
    for (size_t Entry = Block + sizeof H; Entry < Block + Size; Entry += 2) {
      Le16 Word{};
      ReadRecord(Directory, Entry, Word);
      const auto Type = static_cast<uint8_t>(Word >> 12);
      if (Type != kRelocationAbsolute)
        Relocations.push_back({H.PageRva + (Word & 0x0FFFu), Type});
    }
    Block += Size;
  }
  return Relocations;
}

sio::Result<std::vector<BaseRelocation>> ReadBaseRelocations(const PeFile& File,
                                                             std::span<const uint8_t> Image) {
  if (uint64_t(File.RelocationRva) + File.RelocationSize > Image.size())
    return sio::Fail("relocation directory runs past the image");
  return ReadRelocationBlocks(Image.subspan(File.RelocationRva, File.RelocationSize));
}

} // namespace pe
