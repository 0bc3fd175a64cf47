// SPDX-License-Identifier: BSD-2-Clause-Patent
// The emulated address space as the PEI Foundation model sees it: reads of
// whatever is mapped, and writes on the image's behalf only into the stack,
// the one memory the image may change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <unicorn/unicorn.h>

namespace emulator {

class GuestMemory {
public:
  GuestMemory(uc_engine* Uc, uint32_t WritableBegin, uint32_t WritableEnd)
      : Uc_(Uc), WritableBegin_(WritableBegin), WritableEnd_(WritableEnd) {}

  // False when any byte of the range is unmapped.
  bool Read(uint64_t Address, void* Out, size_t Size) const;
  // A little-endian value of Width bytes (1 to 8): a UINT32, or a pointer or
  // UINTN of the image's width.
  std::optional<uint64_t> ReadWord(uint64_t Address, uint32_t Width) const;
  std::optional<uint32_t> Read32(uint64_t Address) const;
  // False, and nothing written, when the range is not wholly inside the stack.
  bool Write(uint64_t Address, const void* Data, size_t Size);
  bool WriteWord(uint64_t Address, uint64_t Value, uint32_t Width) {
    return Width <= 8 && Write(Address, &Value, Width);
  }
  // Lowest address written on the image's behalf since the last Forget (the
  // end of the writable range when none was): what a reused engine restores.
  uint32_t LowestWrite() const { return LowestWrite_; }
  void ForgetWrites() { LowestWrite_ = WritableEnd_; }

private:
  uc_engine* Uc_;
  uint32_t WritableBegin_;
  uint32_t WritableEnd_;
  uint32_t LowestWrite_ = WritableEnd_;
};

} // namespace emulator
