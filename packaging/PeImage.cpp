#include "packaging/PeImage.h"

#include <stdexcept>
#include <string>

#include <llvm/Object/COFF.h>
#include <llvm/Support/Error.h>
#include <llvm/Support/MemoryBuffer.h>

namespace packaging {

PeImageInfo ReadPeImage(std::span<const uint8_t> Image) {
  llvm::MemoryBufferRef Buffer(
      llvm::StringRef(reinterpret_cast<const char*>(Image.data()), Image.size()), "image");
  auto Coff = llvm::object::COFFObjectFile::create(Buffer);
  if (!Coff)
    throw std::runtime_error("not a PE image: " + llvm::toString(Coff.takeError()));
  const llvm::object::pe32_header* Pe32 = (*Coff)->getPE32Header();
  if (Pe32 == nullptr)
    throw std::runtime_error("not a PE32 image (no 32-bit optional header)");
  const llvm::object::COFFObjectFile& Pe = **Coff;
  PeImageInfo Info;
  Info.Machine = Pe.getMachine();
  Info.NumberOfSections = static_cast<uint16_t>(Pe.getNumberOfSections());
  Info.Subsystem = Pe32->Subsystem;
  Info.SectionAlignment = Pe32->SectionAlignment;
  Info.FileAlignment = Pe32->FileAlignment;
  Info.AddressOfEntryPoint = Pe32->AddressOfEntryPoint;
  Info.BaseOfCode = Pe32->BaseOfCode;
  Info.ImageBase = Pe32->ImageBase;
  // "PE\0\0", the file header, then the optional header.
  Info.SectionTableOffset = Pe.getDOSHeader()->AddressOfNewExeHeader + 4 +
                            sizeof(llvm::object::coff_file_header) +
                            Pe.getCOFFHeader()->SizeOfOptionalHeader;
  auto Directory = [&](uint32_t Index) {
    const llvm::object::data_directory* D = Pe.getDataDirectory(Index);
    return D ? PeDataDirectory{D->RelativeVirtualAddress, D->Size} : PeDataDirectory{};
  };
  Info.BaseRelocation = Directory(llvm::COFF::BASE_RELOCATION_TABLE);
  Info.Debug = Directory(llvm::COFF::DEBUG_DIRECTORY);
  return Info;
}

} // namespace packaging
