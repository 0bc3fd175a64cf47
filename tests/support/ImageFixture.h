// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module image as built, and copies of it with bytes patched in, for the
// image check and emulator tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

#include <stdexcept>
#include <sys/mman.h>
#include <vector>

#include "common/BuildPaths.h"
#include "pe/ImageFile.h"
#include "pe/PeFile.h"

namespace test {

inline constexpr uint32_t kImageBase = sio::build::kImageBase;

inline std::vector<uint8_t> ReadImageOrThrow(const char* Path) {
  auto Read = pe::ReadFileBytes(Path);
  if (!Read)
    throw std::runtime_error(std::string("cannot read ") + Path);
  return *Read;
}

// The IA-32 image (PE32) and the X64 image (PE32+) as built.
inline const std::vector<uint8_t>& BuiltImage() {
  static const std::vector<uint8_t> Bytes = ReadImageOrThrow(sio::build::kImageFile);
  return Bytes;
}
inline const std::vector<uint8_t>& BuiltX64Image() {
  static const std::vector<uint8_t> Bytes = ReadImageOrThrow(sio::build::kX64ImageFile);
  return Bytes;
}

// Offsets of the header fields the tests patch, from the PE header onwards.
// The fields up to Subsystem lie at the same offsets in PE32 and PE32+; the
// data directories follow a PE32+ optional header 16 bytes later.
struct HeaderOffsets {
  size_t Coff = 0;     // COFF file header
  size_t Optional = 0; // optional header
  size_t Directories = 0;
  size_t SectionTable = 0;
  size_t Machine() const { return Coff; }
  size_t Magic() const { return Optional; }
  size_t EntryRva() const { return Optional + 16; }
  size_t Subsystem() const { return Optional + 68; }
  size_t Directory(size_t Index) const { return Directories + 8 * Index; }
  size_t SectionCharacteristics(size_t Index) const { return SectionTable + 40 * Index + 36; }
};

inline HeaderOffsets Offsets(const std::vector<uint8_t>& Image) {
  uint32_t PeHeader;
  std::memcpy(&PeHeader, Image.data() + 0x3C, 4);
  uint16_t OptionalSize;
  std::memcpy(&OptionalSize, Image.data() + PeHeader + 4 + 16, 2);
  HeaderOffsets O;
  O.Coff = PeHeader + 4;
  O.Optional = O.Coff + 20;
  uint16_t Magic;
  std::memcpy(&Magic, Image.data() + O.Optional, 2);
  O.Directories = O.Optional + (Magic == pe::kMagicPe32Plus ? sizeof(pe::OptionalHeader64)
                                                            : sizeof(pe::OptionalHeader32));
  O.SectionTable = O.Optional + OptionalSize;
  return O;
}

template <typename T> void Poke(std::vector<uint8_t>& Image, size_t Offset, T Value) {
  std::memcpy(Image.data() + Offset, &Value, sizeof Value);
}

// The file offset of the image's entry point.
inline size_t EntryFileOffset(const std::vector<uint8_t>& Image) {
  const pe::PeFile File = pe::ReadPeFile(Image).Value();
  const pe::SectionHeader* Code = File.SectionAt(File.EntryRva);
  return Code->RawOffset + (File.EntryRva - Code->VirtualAddress);
}

// The built image with Code written over its entry point.
inline std::vector<uint8_t> WithEntryCode(std::vector<uint8_t> Code) {
  std::vector<uint8_t> Image = BuiltImage();
  size_t At = EntryFileOffset(Image);
  std::memcpy(Image.data() + At, Code.data(), Code.size());
  return Image;
}

inline uint32_t EntryRva(const std::vector<uint8_t>& Image) {
  return pe::ReadPeFile(Image)->EntryRva;
}

// Bytes placed so that they end where an inaccessible page begins: a reader
// that runs past the end of the file faults instead of reading on unnoticed.
class GuardedBytes {
public:
  static constexpr size_t kPage = 4096;
  explicit GuardedBytes(size_t Capacity) : Pages_((Capacity + kPage - 1) / kPage + 1) {
    void* Mapped =
        mmap(nullptr, Pages_ * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (Mapped == MAP_FAILED)
      throw std::runtime_error("mmap failed");
    Region_ = static_cast<uint8_t*>(Mapped);
    mprotect(Region_ + (Pages_ - 1) * kPage, kPage, PROT_NONE);
  }
  ~GuardedBytes() { munmap(Region_, Pages_ * kPage); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;

  std::span<const uint8_t> Place(std::span<const uint8_t> Bytes) {
    uint8_t* Start = Region_ + (Pages_ - 1) * kPage - Bytes.size();
    std::memcpy(Start, Bytes.data(), Bytes.size());
    return {Start, Bytes.size()};
  }

private:
  size_t Pages_;
  uint8_t* Region_ = nullptr;
};

} // namespace test
