// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/PeLoader.h"

#include <string>

#include "common/Hex.h"
#include "emulator/GuestLayout.h"
#include "pe/ImageCheck.h"
#include "pe/PeRebase.h"

namespace emulator {
namespace {

sio::Error Failure(const std::string& Error) {
  return sio::Fail("bad image: " + Error);
}

uint64_t PagesFor(uint32_t SizeOfImage) {
  return (uint64_t(SizeOfImage) + kPageSize - 1) / kPageSize * kPageSize;
}

} // namespace

sio::Result<void> CheckPlacement(uint32_t Base, uint32_t SizeOfImage, uint32_t Alignment) {
  const uint64_t Size = PagesFor(Base % kPageSize + uint64_t(SizeOfImage));
  if (Alignment == 0 || Base % Alignment != 0)
    return sio::Fail("load address " + sio::Hex(Base, 8) + " is not aligned to the image's " +
                     std::to_string(Alignment) + "-byte section alignment");
  if (Base < kLowestImageAddress || Base / kPageSize * kPageSize + Size > 0x100000000ull)
    return sio::Fail("image at " + sio::Hex(Base, 8) + " (" + std::to_string(Size) +
                     " bytes) does not fit between " + sio::Hex(kLowestImageAddress, 8) +
                     " and 4 GiB");
  return {};
}

sio::Result<LoadedImage> LoadPeImage(std::span<const uint8_t> File,
                                     std::optional<uint32_t> Address) {
  auto Valid = pe::ValidatePe32Image(File);
  if (!Valid)
    return Failure(Valid.Message());
  const pe::PeFile& Pe = *Valid;
  const uint32_t Base = Address.value_or(static_cast<uint32_t>(Pe.ImageBase));
  const uint64_t Size = PagesFor(Pe.SizeOfImage);
  if (auto Placed = CheckPlacement(Base, Pe.SizeOfImage, Pe.SectionAlignment); !Placed)
    return Failure(Placed.Message());
  auto Memory = pe::LayOutImage(Pe, File);
  if (!Memory)
    return Failure(Memory.Message());
  LoadedImage Image;
  Image.Memory = std::move(*Memory);
  Image.Memory.resize(Size, 0);
  Image.Base = Base;
  Image.Entry = Base + Pe.EntryRva;
  Image.Mode = Pe.Machine == pe::kMachineX64 ? ProcessorMode::X64 : ProcessorMode::Ia32;
  if (Base != Pe.ImageBase) {
    if (auto Moved = pe::RelocateLaidOutImage(Pe, Image.Memory, Base); !Moved)
      return Failure(Moved.Message());
  }
  return Image;
}

} // namespace emulator
