// SPDX-License-Identifier: BSD-2-Clause-Patent
// LZMA "alone" streams: the size field the firmware's decompressor relies on.
#include <gtest/gtest.h>

#include "ovmf/Lzma.h"

namespace {

std::vector<uint8_t> Sample(size_t Size) {
  std::vector<uint8_t> Data(Size, 0xFF);
  for (size_t I = 0; I < Size / 3; ++I)
    Data[I] = static_cast<uint8_t>(I * 7 + (I >> 5));
  return Data;
}

TEST(Lzma, RoundTripsWithTheRealSizeInTheHeader) {
  for (size_t Size : {size_t{0}, size_t{1}, size_t{4096}, size_t{300000}}) {
    const auto Data = Sample(Size);
    const auto Stream = ovmf::LzmaAloneEncode(Data).Value();
    EXPECT_EQ(*ovmf::LzmaAloneDeclaredSize(Stream), Size);
    EXPECT_EQ(Stream[0], 0x5D) << "lc=3 lp=0 pb=2";
    EXPECT_EQ(Stream[1] | Stream[2] << 8 | Stream[3] << 16 | Stream[4] << 24, 1 << 24);
    EXPECT_EQ(*ovmf::LzmaAloneDecode(Stream), Data);
  }
}

TEST(Lzma, RefusesStreamsTheFirmwareCouldNotUse) {
  const auto Good = ovmf::LzmaAloneEncode(Sample(5000)).Value();
  auto UnknownSize = Good;
  for (size_t I = 5; I < 13; ++I)
    UnknownSize.at(I) = 0xFF;
  auto WrongSize = Good;
  WrongSize[5] ^= 1;
  const std::vector<uint8_t> Short(Good.begin(), Good.begin() + Good.size() / 2);
  const std::vector<uint8_t> HeaderOnly(Good.begin(), Good.begin() + 8);
  // A size claim far beyond any flash part: refused before anything is
  // allocated for it (it once asked for the 2 GiB up front).
  auto Bomb = Good;
  for (size_t I = 5; I < 13; ++I)
    Bomb.at(I) = I == 8 ? 0x80 : 0x00;
  for (const auto& Stream : {UnknownSize, WrongSize, Short, HeaderOnly, Bomb}) {
    const auto Decoded = ovmf::LzmaAloneDecode(Stream);
    ASSERT_FALSE(Decoded.Ok());
    EXPECT_EQ(Decoded.Kind(), sio::ErrorKind::BadInput) << Decoded.Message();
  }
}

// The firmware's decoder writes into the whole output, its window whatever
// the header's dictionary size says: any size decodes the same, and the
// memory it takes follows the output, not the header (decoding is bounded
// to twice the largest output).
TEST(Lzma, AnyDictionarySizeDecodesTheSameInBoundedMemory) {
  const auto Data = Sample(5000);
  const auto Good = ovmf::LzmaAloneEncode(Data).Value();
  for (uint32_t Dictionary : {0u, 4096u, 1u << 24, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(Dictionary);
    auto Stream = Good;
    for (size_t I = 0; I < 4; ++I)
      Stream[1 + I] = static_cast<uint8_t>(Dictionary >> (8 * I));
    const auto Decoded = ovmf::LzmaAloneDecode(Stream);
    ASSERT_TRUE(Decoded) << Decoded.Message();
    EXPECT_EQ(*Decoded, Data);
  }
}

} // namespace
