// The headers of a PE32 image that packaging wraps, or an exception saying why
// the bytes are not one.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>

#include "pe/PeFile.h"

namespace packaging {

inline pe::PeFile ReadPe32Image(std::span<const uint8_t> Image) {
  pe::PeReadResult Read = pe::ReadPeFile(Image);
  if (!Read.File)
    throw std::runtime_error(Read.Error);
  if (Read.File->Magic != pe::kMagicPe32)
    throw std::runtime_error("not a PE32 image (PE32+)");
  return *Read.File;
}

} // namespace packaging
