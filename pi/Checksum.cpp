// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/Checksum.h"

#include <vector>

#include "pi/Records.h"

namespace pi {

uint8_t Sum8(std::span<const uint8_t> Bytes) {
  uint8_t Sum = 0;
  for (uint8_t B : Bytes)
    Sum = static_cast<uint8_t>(Sum + B);
  return Sum;
}

uint8_t Checksum8(std::span<const uint8_t> Bytes) {
  return static_cast<uint8_t>(0x100 - Sum8(Bytes));
}

sio::Result<uint16_t> Sum16(std::span<const uint8_t> Bytes) {
  if (Bytes.size() % 2 != 0)
    return sio::Fail("16-bit sum over an odd number of bytes");
  uint16_t Sum = 0;
  for (size_t I = 0; I < Bytes.size(); I += 2)
    Sum = static_cast<uint16_t>(Sum + (Bytes[I] | Bytes[I + 1] << 8));
  return Sum;
}

sio::Result<uint16_t> Checksum16(std::span<const uint8_t> Bytes) {
  auto Sum = Sum16(Bytes);
  if (!Sum)
    return Sum.Failure();
  return static_cast<uint16_t>(0x10000 - *Sum);
}

uint8_t FfsHeaderChecksum(std::span<const uint8_t> Header) {
  FfsFileHeader H;
  ReadRecord(Header, 0, H);
  H.HeaderChecksum = H.FileChecksum = H.State = 0;
  const auto* Fixed = reinterpret_cast<const uint8_t*>(&H);
  return static_cast<uint8_t>(Checksum8({Fixed, sizeof H}) - Sum8(Header.subspan(sizeof H)));
}

uint16_t FvHeaderChecksum(std::span<const uint8_t> Header) {
  std::vector<uint8_t> Covered(Header.begin(), Header.end() - Header.size() % 2);
  FvHeader H;
  ReadRecord(Covered, 0, H);
  H.Checksum = 0;
  WriteRecord(std::span<uint8_t>(Covered), 0, H);
  return *Checksum16(Covered);
}

void SealFfsFile(std::span<uint8_t> File, size_t HeaderSize) {
  FfsFileHeader H;
  ReadRecord(File, 0, H);
  H.FileChecksum = (H.Attributes & file_attr::kChecksum) ? Checksum8(File.subspan(HeaderSize))
                                                         : kFfsFixedChecksum;
  WriteRecord(File, 0, H);
  H.HeaderChecksum = FfsHeaderChecksum(File.first(HeaderSize));
  WriteRecord(File, 0, H);
}

void SealFvHeader(std::span<uint8_t> Volume) {
  FvHeader H;
  ReadRecord(Volume, 0, H);
  H.Checksum = FvHeaderChecksum(Volume.first(H.HeaderLength));
  WriteRecord(Volume, 0, H);
}

} // namespace pi
