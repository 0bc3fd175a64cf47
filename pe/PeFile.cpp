#include "pe/PeFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <llvm/Object/COFF.h>
#include <llvm/Support/Error.h>
#include <llvm/Support/MemoryBufferRef.h>

namespace pe {
namespace {

std::string Hex(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%llX", static_cast<unsigned long long>(Value));
  return Text;
}

uint32_t Load32(std::span<const uint8_t> Bytes, size_t Offset) {
  uint32_t Value;
  std::memcpy(&Value, Bytes.data() + Offset, 4);
  return Value;
}

uint16_t Load16(std::span<const uint8_t> Bytes, size_t Offset) {
  uint16_t Value;
  std::memcpy(&Value, Bytes.data() + Offset, 2);
  return Value;
}

// LLVM's COFF reader trusts the header offsets, sizes and directory entries of
// an image and reads wherever they point; a truncated or crafted file makes it
// read outside the buffer. So the structure is bounds-checked here first, and
// only a file whose headers, section data and data directories all lie in
// the file reaches it. Directories that would make LLVM walk further tables
// (all but base relocations and debug entries) have no
// place in a PEI module running in place and are refused.
std::optional<std::string> CheckStructure(std::span<const uint8_t> Bytes) {
  if (Bytes.size() < 0x40 || Bytes[0] != 'M' || Bytes[1] != 'Z')
    return "no MZ header";
  uint64_t PeHeader = Load32(Bytes, 0x3C);
  if (PeHeader + 24 > Bytes.size())
    return "PE header at " + Hex(PeHeader) + " lies past the end";
  if (std::memcmp(Bytes.data() + PeHeader, "PE\0\0", 4) != 0)
    return "no PE signature";
  uint64_t Coff = PeHeader + 4;
  uint64_t Sections = Load16(Bytes, Coff + 2);
  uint64_t OptionalSize = Load16(Bytes, Coff + 16);
  uint64_t Optional = Coff + 20;
  uint64_t SectionTable = Optional + OptionalSize;
  if (OptionalSize < 2 || SectionTable + 40 * Sections > Bytes.size()) {
    return "optional header or section table runs past the end of the file";
  }
  uint16_t Magic = Load16(Bytes, Optional);
  uint64_t DirectoriesAt = Magic == kMagicPe32 ? 96 : Magic == 0x20B ? 112 : 0;
  if (DirectoriesAt == 0)
    return "optional header magic " + Hex(Magic) + " is neither PE32 nor PE32+";
  if (DirectoriesAt > OptionalSize)
    return "optional header is cut short";
  uint64_t Directories = Load32(Bytes, Optional + DirectoriesAt - 4);
  if (DirectoriesAt + 8 * Directories > OptionalSize)
    return "data directories run past the optional header";
  for (uint64_t I = 0; I < Sections; ++I) {
    uint64_t Header = SectionTable + 40 * I;
    uint64_t RawSize = Load32(Bytes, Header + 16), RawOffset = Load32(Bytes, Header + 20);
    if (RawSize != 0 && RawOffset + RawSize > Bytes.size()) {
      return "section " + std::to_string(I) + " data runs past the end of the file";
    }
  }
  for (uint64_t D = 0; D < Directories; ++D) {
    uint32_t Rva = Load32(Bytes, Optional + DirectoriesAt + 8 * D);
    uint32_t Size = Load32(Bytes, Optional + DirectoriesAt + 8 * D + 4);
    if (Rva == 0 && Size == 0)
      continue;
    if (D != kDirectoryBaseRelocation && D != kDirectoryDebug) {
      return "data directory " + std::to_string(D) + " is present; a PEI module carries none but " +
             "base relocations and debug entries";
    }
    bool Backed = false;
    for (uint64_t I = 0; I < Sections && !Backed; ++I) {
      uint64_t Header = SectionTable + 40 * I;
      uint64_t VirtualSize = Load32(Bytes, Header + 8), VirtualAddress = Load32(Bytes, Header + 12);
      uint64_t RawSize = Load32(Bytes, Header + 16);
      Backed = Rva >= VirtualAddress &&
               uint64_t(Rva) + Size <= VirtualAddress + std::min(VirtualSize, RawSize);
    }
    if (!Backed) {
      return "data directory " + std::to_string(D) + " (" + Hex(Rva) + "+" + Hex(Size) +
             ") lies outside the file's section data";
    }
  }
  return std::nullopt;
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
    if (Rva >= S.VirtualAddress && uint64_t(Rva) < uint64_t(S.VirtualAddress) + S.LoadedSize()) {
      return &S;
    }
  }
  return nullptr;
}

PeReadResult ReadPeFile(std::span<const uint8_t> Bytes) {
  PeReadResult Result;
  if (auto Error = CheckStructure(Bytes)) {
    Result.Error = "malformed image: " + *Error;
    return Result;
  }
  llvm::MemoryBufferRef Buffer(
      llvm::StringRef(reinterpret_cast<const char*>(Bytes.data()), Bytes.size()), "image");
  auto Object = llvm::object::COFFObjectFile::create(Buffer);
  if (!Object) {
    Result.Error = "not a PE/COFF file: " + llvm::toString(Object.takeError());
    return Result;
  }
  const llvm::object::COFFObjectFile& Coff = **Object;
  if (Coff.getDOSHeader() == nullptr) {
    Result.Error = "not a PE image: no MZ header";
    return Result;
  }

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
  if (const auto* Header = Coff.getPE32Header()) {
    TakeOptionalHeader(Header);
  } else if (const auto* Header = Coff.getPE32PlusHeader()) {
    TakeOptionalHeader(Header);
  } else {
    Result.Error = "not a PE image: no optional header";
    return Result;
  }
  if (File.SizeOfHeaders > Bytes.size()) {
    Result.Error = "headers (" + Hex(File.SizeOfHeaders) + " bytes) run past the end of the file";
    return Result;
  }
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
    if (S.RawSize != 0 && uint64_t(S.RawOffset) + S.RawSize > Bytes.size()) {
      Result.Error = "section " + S.Name + " data (" + Hex(S.RawOffset) + "+" + Hex(S.RawSize) +
                     ") runs past the end of the file (" + Hex(Bytes.size()) + ")";
      return Result;
    }
    File.Sections.push_back(std::move(S));
  }
  Result.File = std::move(File);
  return Result;
}

std::optional<std::string> LayOutImage(const PeFile& File, std::span<const uint8_t> Bytes,
                                       std::vector<uint8_t>& Image) {
  if (File.SizeOfImage == 0 || File.SizeOfHeaders > File.SizeOfImage ||
      File.SizeOfHeaders > Bytes.size()) {
    return "headers do not fit the image (SizeOfImage " + Hex(File.SizeOfImage) + ")";
  }
  Image.assign(File.SizeOfImage, 0);
  std::copy_n(Bytes.begin(), File.SizeOfHeaders, Image.begin());
  for (const auto& S : File.Sections) {
    if (uint64_t(S.VirtualAddress) + S.LoadedSize() > File.SizeOfImage ||
        S.VirtualAddress < File.SizeOfHeaders) {
      return "section " + S.Name + " (" + Hex(S.VirtualAddress) + "+" + Hex(S.LoadedSize()) +
             ") lies outside the image";
    }
    uint32_t Copied = std::min(S.RawSize, S.LoadedSize());
    if (uint64_t(S.RawOffset) + Copied > Bytes.size()) {
      return "section " + S.Name + " data runs past the end of the file";
    }
    std::copy_n(Bytes.begin() + S.RawOffset, Copied, Image.begin() + S.VirtualAddress);
  }
  return std::nullopt;
}

std::optional<std::string> ReadBaseRelocations(const PeFile& File, std::span<const uint8_t> Image,
                                               std::vector<BaseRelocation>& Relocations) {
  Relocations.clear();
  uint64_t End = uint64_t(File.RelocationRva) + File.RelocationSize;
  if (End > Image.size())
    return "relocation directory runs past the image";
  for (uint64_t Block = File.RelocationRva; Block < End;) {
    if (Block + 8 > End)
      return "relocation block header at " + Hex(Block) + " is cut short";
    uint32_t PageRva = Load32(Image, Block);
    uint32_t BlockSize = Load32(Image, Block + 4);
    if (BlockSize < 8 || BlockSize % 2 != 0 || Block + BlockSize > End) {
      return "relocation block at " + Hex(Block) + " has a bad size " + Hex(BlockSize);
    }
    for (uint64_t Entry = Block + 8; Entry < Block + BlockSize; Entry += 2) {
      uint16_t Word = Load16(Image, Entry);
      auto Type = static_cast<uint8_t>(Word >> 12);
      if (Type == kRelocationAbsolute)
        continue;
      Relocations.push_back({PageRva + (Word & 0x0FFFu), Type});
    }
    Block += BlockSize;
  }
  return std::nullopt;
}

} // namespace pe
