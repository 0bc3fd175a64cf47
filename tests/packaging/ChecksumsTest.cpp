#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "packaging/Checksums.h"

namespace {

using packaging::Checksum16;
using packaging::Checksum8;
using packaging::Sum16;
using packaging::Sum8;

TEST(Checksums, EightBitChecksumCompletesTheSumToZero) {
  struct Case {
    std::vector<uint8_t> Bytes;
    uint8_t Checksum;
  };
  const Case Cases[] = {
      {{}, 0x00},
      {{0x01}, 0xFF},
      {{0xFF, 0x01}, 0x00},       // carries out of the byte are dropped
      {{0x12, 0x34, 0x56}, 0x64}, // sum 0x9C
      {{0x80, 0x80, 0x80}, 0x80}, // sum 0x180
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Checksum8(C.Bytes), C.Checksum);
    std::vector<uint8_t> Whole = C.Bytes;
    Whole.push_back(Checksum8(C.Bytes));
    EXPECT_EQ(Sum8(Whole), 0);
  }
}

TEST(Checksums, SixteenBitChecksumTakesLittleEndianWords) {
  struct Case {
    std::vector<uint8_t> Bytes;
    uint16_t Sum;
    uint16_t Checksum;
  };
  const Case Cases[] = {
      {{}, 0x0000, 0x0000},
      {{0x34, 0x12}, 0x1234, 0xEDCC},
      {{0x00, 0x01}, 0x0100, 0xFF00},             // high byte second
      {{0xFF, 0xFF, 0x02, 0x00}, 0x0001, 0xFFFF}, // carry out of 16 bits dropped
      {{0x5F, 0x46, 0x56, 0x48}, 0x8EB5, 0x714B}, // "_FVH"
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(Sum16(C.Bytes), C.Sum);
    EXPECT_EQ(Checksum16(C.Bytes), C.Checksum);
    std::vector<uint8_t> Whole = C.Bytes;
    Whole.push_back(static_cast<uint8_t>(C.Checksum));
    Whole.push_back(static_cast<uint8_t>(C.Checksum >> 8));
    EXPECT_EQ(Sum16(Whole), 0);
  }
}

TEST(Checksums, SixteenBitSumRefusesAnOddLength) {
  const std::vector<uint8_t> Odd = {1, 2, 3};
  EXPECT_THROW(Sum16(Odd), std::invalid_argument);
}

} // namespace
