#include "emulator/PeLoader.h"

#include <cstdio>
#include <cstring>

#include "emulator/GuestLayout.h"
#include "pe/PeFile.h"

namespace emulator {
namespace {

std::string Hex(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value));
  return Text;
}

LoadResult Failure(std::string Error) {
  return {std::nullopt, "bad image: " + std::move(Error)};
}

} // namespace

LoadResult LoadPeImage(std::span<const uint8_t> File, std::optional<uint32_t> Address) {
  pe::PeReadResult Read = pe::ReadPeFile(File);
  if (!Read.File)
    return Failure(Read.Error);
  const pe::PeFile& Pe = *Read.File;
  if (Pe.Magic != pe::kMagicPe32 || Pe.Machine != pe::kMachineI386) {
    return Failure("not a PE32 image for IA-32");
  }
  uint32_t Base = Address.value_or(static_cast<uint32_t>(Pe.ImageBase));
  uint64_t Size = (uint64_t(Pe.SizeOfImage) + kPageSize - 1) / kPageSize * kPageSize;
  if (Base % kPageSize != 0)
    return Failure("load address " + Hex(Base) + " is not page aligned");
  if (Base < kLowestImageAddress || Base + Size > 0x100000000ull) {
    return Failure("image at " + Hex(Base) + " (" + std::to_string(Size) +
                   " bytes) does not fit between " + Hex(kLowestImageAddress) + " and 4 GiB");
  }
  if (Pe.EntryRva == 0 || Pe.EntryRva >= Pe.SizeOfImage) {
    return Failure("entry point RVA " + Hex(Pe.EntryRva) + " lies outside the image");
  }

  LoadedImage Image;
  if (auto Error = pe::LayOutImage(Pe, File, Image.Memory))
    return Failure(*Error);
  Image.Memory.resize(Size, 0);
  Image.Base = Base;
  Image.Entry = Base + Pe.EntryRva;

  uint32_t Delta = Base - static_cast<uint32_t>(Pe.ImageBase);
  if (Delta != 0) {
    std::vector<pe::BaseRelocation> Relocations;
    if (auto Error = pe::ReadBaseRelocations(Pe, Image.Memory, Relocations))
      return Failure(*Error);
    if (Relocations.empty())
      return Failure("no base relocations, cannot load at " + Hex(Base));
    for (const auto& R : Relocations) {
      if (R.Type != pe::kRelocationHighLow) {
        return Failure("relocation type " + std::to_string(R.Type) + " at RVA " + Hex(R.Rva));
      }
      if (uint64_t(R.Rva) + 4 > Pe.SizeOfImage) {
        return Failure("relocation at RVA " + Hex(R.Rva) + " lies outside the image");
      }
      uint32_t Value;
      std::memcpy(&Value, Image.Memory.data() + R.Rva, 4);
      Value += Delta;
      std::memcpy(Image.Memory.data() + R.Rva, &Value, 4);
    }
  }
  return {std::move(Image), {}};
}

} // namespace emulator
