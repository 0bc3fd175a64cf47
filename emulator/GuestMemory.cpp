// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/GuestMemory.h"

namespace emulator {

bool GuestMemory::Read(uint64_t Address, void* Out, size_t Size) const {
  if (Address + Size < Address)
    return false;
  return uc_mem_read(Uc_, Address, Out, Size) == UC_ERR_OK;
}

std::optional<uint64_t> GuestMemory::ReadWord(uint64_t Address, uint32_t Width) const {
  uint64_t Value = 0;
  if (Width > 8 || !Read(Address, &Value, Width))
    return std::nullopt;
  return Value;
}

std::optional<uint32_t> GuestMemory::Read32(uint64_t Address) const {
  auto Value = ReadWord(Address, 4);
  if (!Value)
    return std::nullopt;
  return static_cast<uint32_t>(*Value);
}

bool GuestMemory::Write(uint64_t Address, const void* Data, size_t Size) {
  if (Address < WritableBegin_ || Address + Size > WritableEnd_ || Address + Size < Address)
    return false;
  if (Size && Address < LowestWrite_)
    LowestWrite_ = static_cast<uint32_t>(Address);
  return uc_mem_write(Uc_, Address, Data, Size) == UC_ERR_OK;
}

} // namespace emulator
