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
  PeImageInfo Info;
  Info.Machine = (*Coff)->getMachine();
  Info.SectionAlignment = Pe32->SectionAlignment;
  Info.FileAlignment = Pe32->FileAlignment;
  return Info;
}

} // namespace packaging
