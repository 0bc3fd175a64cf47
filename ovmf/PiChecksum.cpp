#include "ovmf/PiChecksum.h"

#include <vector>

#include "ovmf/PiLayout.h"
#include "packaging/Checksums.h"

namespace ovmf {

uint8_t FfsHeaderChecksum(std::span<const uint8_t> Header) {
  std::vector<uint8_t> Covered(Header.begin(), Header.end());
  Covered[kFfsHeaderChecksumOffset] = Covered[kFfsFileChecksumOffset] = Covered[kFfsStateOffset] =
      0;
  return packaging::Checksum8(Covered);
}

uint8_t FfsDataChecksum(std::span<const uint8_t> Data) {
  return packaging::Checksum8(Data);
}

uint16_t FvHeaderChecksum(std::span<const uint8_t> Header) {
  std::vector<uint8_t> Covered(Header.begin(), Header.end());
  Covered[kFvChecksumOffset] = Covered[kFvChecksumOffset + 1] = 0;
  return packaging::Checksum16(Covered);
}

void SealFfsFile(std::span<uint8_t> File, size_t HeaderSize) {
  const bool Real = (File[kFfsAttributesOffset] & kFfsAttribChecksum) != 0;
  File[kFfsFileChecksumOffset] =
      Real ? FfsDataChecksum(File.subspan(HeaderSize)) : kFfsFixedChecksum;
  File[kFfsHeaderChecksumOffset] = FfsHeaderChecksum(File.first(HeaderSize));
}

void SealFvHeader(std::span<uint8_t> Volume) {
  const uint16_t Length = Load16(&Volume[kFvHeaderLengthOffset]);
  Store16(&Volume[kFvChecksumOffset], FvHeaderChecksum(Volume.first(Length)));
}

} // namespace ovmf
