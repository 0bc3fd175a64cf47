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
  if (const auto* Header = Coff.getPE32Header()) {
    File.Magic = Header->Magic;
    File.Subsystem = Header->Subsystem;
    File.EntryRva = Header->AddressOfEntryPoint;
    File.ImageBase = Header->ImageBase;
    File.SizeOfImage = Header->SizeOfImage;
    File.SizeOfHeaders = Header->SizeOfHeaders;
  } else if (const auto* Header = Coff.getPE32PlusHeader()) {
    File.Magic = Header->Magic;
    File.Subsystem = Header->Subsystem;
    File.EntryRva = Header->AddressOfEntryPoint;
    File.ImageBase = Header->ImageBase;
    File.SizeOfImage = Header->SizeOfImage;
    File.SizeOfHeaders = Header->SizeOfHeaders;
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
