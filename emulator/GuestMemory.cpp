// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/GuestMemory.h"

namespace emulator {

bool GuestMemory::Read(uint32_t Address, void* Out, size_t Size) const {
  if (uint64_t(Address) + Size > 0x100000000ull)
    return false;
  return uc_mem_read(Uc_, Address, Out, Size) == UC_ERR_OK;
}

std::optional<uint32_t> GuestMemory::Read32(uint32_t Address) const {
  uint32_t Value;
  if (!Read(Address, &Value, 4))
    return std::nullopt;
  return Value;
}

bool GuestMemory::Write(uint32_t Address, const void* Data, size_t Size) {
  if (Address < WritableBegin_ || uint64_t(Address) + Size > WritableEnd_)
    return false;
  if (Size && Address < LowestWrite_)
    LowestWrite_ = Address;
  return uc_mem_write(Uc_, Address, Data, Size) == UC_ERR_OK;
}

} // namespace emulator
