// SPDX-License-Identifier: BSD-2-Clause-Patent
// The configuration-port operations make exactly their documented accesses,
// and the board's chip model honours the protocol they rely on.
#include <gtest/gtest.h>

#include <functional>

#include "platform/PortIo.h"
#include "sio/SioConfigPort.h"
#include "tests/support/Harness.h"
#include "tests/support/TraceBuilder.h"

namespace {

using test::Harness;
using test::TraceBuilder;

struct OperationCase {
  const char* Name;
  std::function<void(uint16_t)> Run;
  std::function<void(TraceBuilder&, uint16_t)> Expect;
};

TEST(ConfigPort, EachOperationIsItsFixedAccessSequence) {
  const OperationCase Cases[] = {
      {"enter", [](uint16_t P) { SioEnterConfig(P); },
       [](TraceBuilder& T, uint16_t P) { T.Out8(P, 0x77).Out8(P, 0x77); }},
      {"exit", [](uint16_t P) { SioExitConfig(P); },
       [](TraceBuilder& T, uint16_t P) { T.Out8(P, 0xAA); }},
      {"write", [](uint16_t P) { SioWriteReg(P, 0x61, 0xE8); },
       [](TraceBuilder& T, uint16_t P) { T.Out8(P, 0x61).Out8(uint16_t(P + 1), 0xE8); }},
      {"read", [](uint16_t P) { EXPECT_EQ(SioReadReg(P, 0x20), 0xFF); },
       [](TraceBuilder& T, uint16_t P) { T.Out8(P, 0x20).In8(uint16_t(P + 1), 0xFF); }},
      {"select", [](uint16_t P) { SioSelectDevice(P, 0x08); },
       [](TraceBuilder& T, uint16_t P) { T.Out8(P, 0x07).Out8(uint16_t(P + 1), 0x08); }},
  };
  // 0xFFFF: the data port wraps to 0x0000 as a 16-bit address.
  for (uint16_t P : {uint16_t(0x2E), uint16_t(0x164E), uint16_t(0xFFFF)}) {
    for (const auto& C : Cases) {
      Harness H(test::ChipAt(std::nullopt));
      C.Run(P);
      TraceBuilder Expected;
      C.Expect(Expected, P);
      EXPECT_EQ(H.Events(), Expected.Events()) << C.Name << " at " << P << "\n"
                                               << test::Dump(H.Events());
    }
  }
}

TEST(ChipModel, ConfigurationModeNeedsTwoConsecutiveEnterKeys) {
  struct Case {
    std::vector<uint8_t> IndexWrites;
    bool ConfigMode;
  } Cases[] = {
      {{0x77}, false},
      {{0x77, 0x77}, true},
      {{0x77, 0x55, 0x77}, false},
      {{0x55, 0x77, 0x77}, true},
      {{0x77, 0x77, 0xAA}, false},
      {{0x77, 0x77, 0xAA, 0x77}, false},
  };
  for (const auto& C : Cases) {
    Harness H(test::ChipAt(0x4E));
    for (uint8_t Byte : C.IndexWrites)
      PortWrite8(0x4E, Byte);
    EXPECT_EQ(H.Board().Chip()->InConfigMode(), C.ConfigMode)
        << ::testing::PrintToString(C.IndexWrites);
  }
}

TEST(ChipModel, RegistersAreReachableOnlyInConfigurationMode) {
  Harness H(test::ChipAt(0x4E));
  auto& Chip = *H.Board().Chip();
  SioWriteReg(0x4E, 0x25, 0x01); // ignored: not in configuration mode
  EXPECT_EQ(SioReadReg(0x4E, 0x20), 0xFF);
  EXPECT_EQ(Chip.Register(0, 0x25), 0x00);

  SioEnterConfig(0x4E);
  EXPECT_EQ(SioReadReg(0x4E, 0x20), 0x02);
  EXPECT_EQ(SioReadReg(0x4E, 0x21), 0x16);
  SioWriteReg(0x4E, 0x20, 0x99); // chip ID is read-only
  EXPECT_EQ(SioReadReg(0x4E, 0x20), 0x02);

  // Registers from 0x30 belong to the selected logical device; below are global.
  SioSelectDevice(0x4E, 0x08);
  SioWriteReg(0x4E, 0xF1, 0x5A);
  SioWriteReg(0x4E, 0x25, 0x01);
  SioSelectDevice(0x4E, 0x01);
  EXPECT_EQ(SioReadReg(0x4E, 0xF1), 0x00);
  EXPECT_EQ(SioReadReg(0x4E, 0x25), 0x01);
  EXPECT_EQ(Chip.Register(8, 0xF1), 0x5A);
  EXPECT_TRUE(Chip.DeviceTouched(8));
  EXPECT_FALSE(Chip.DeviceTouched(1));

  SioExitConfig(0x4E);
  SioWriteReg(0x4E, 0xF1, 0x11);
  EXPECT_EQ(Chip.Register(1, 0xF1), 0x00);
}

} // namespace
