// SPDX-License-Identifier: BSD-2-Clause-Patent
// The configuration-port protocol as the shared decoder follows it: the
// state each access meets and the step it makes, on the candidate ports only.
#include <gtest/gtest.h>

#include "chip/ConfigPortDecoder.h"
#include "tests/support/TraceBuilder.h"

namespace {

using chip::PortStep;
using pi::EventKind;
using pi::TraceEvent;

using test::In;
using test::Out;

TEST(ConfigPortDecoder, FollowsModeRegisterAndDeviceAccessByAccess) {
  struct Step {
    TraceEvent Event;
    PortStep Expected;
    uint8_t Device = 0;
    uint8_t Reg = 0;
  } Steps[] = {
      {Out(0x4F, 0x01), PortStep::DataOutsideConfig},
      {Out(0x4E, 0x20), PortStep::IgnoredIndexWrite},
      {Out(0x4E, 0x77), PortStep::EnterKeyFirst},
      {Out(0x4E, 0x20), PortStep::IgnoredIndexWrite}, // the pair broken
      {Out(0x4E, 0x77), PortStep::EnterKeyFirst},
      {Out(0x4E, 0x77), PortStep::EnterKeySecond},
      {In(0x4F, 0xFF), PortStep::DataBeforeIndex},
      {In(0x4E, 0x00), PortStep::IndexRead},
      {Out(0x4E, 0x77, 2), PortStep::NotByteWide},
      {Out(0x4E, 0x77), PortStep::SelectRegister, 0, 0x77}, // a key in the mode selects 0x77
      {Out(0x4E, 0x21), PortStep::SelectRegister, 0, 0x21},
      {Out(0x4F, 0x99), PortStep::ReadOnlyWrite, 0, 0x21},
      {Out(0x4E, 0x07), PortStep::SelectRegister, 0, 0x07},
      {Out(0x4F, 0x08), PortStep::SelectDevice, 0, 0x07},
      {Out(0x4E, 0xF0), PortStep::SelectRegister, 8, 0xF0},
      {In(0x4F, 0xFF), PortStep::RegisterRead, 8, 0xF0},
      {Out(0x4F, 0xFB), PortStep::RegisterWrite, 8, 0xF0},
      {Out(0x2E, 0x77), PortStep::EnterKeyFirst}, // another port, its own state
      {Out(0x4E, 0xAA), PortStep::ExitKey, 8},
      {Out(0x4F, 0x01), PortStep::DataOutsideConfig, 8},
  };
  chip::ConfigPortDecoder Decoder;
  for (size_t I = 0; I < std::size(Steps); ++I) {
    auto A = Decoder.Feed(Steps[I].Event);
    ASSERT_TRUE(A) << I;
    EXPECT_EQ(A->Step, Steps[I].Expected) << "access " << I;
    EXPECT_EQ(A->Device, Steps[I].Device) << "access " << I;
    if (Steps[I].Reg != 0) {
      EXPECT_EQ(A->Reg, Steps[I].Reg) << "access " << I;
    }
    EXPECT_EQ(A->IndexPort, Steps[I].Event.Port & ~1u) << "access " << I;
  }
}

TEST(ConfigPortDecoder, WriteRightAfterAReadCarriesTheByteRead) {
  chip::ConfigPortDecoder D;
  for (const auto& E : {Out(0x162E, 0x77), Out(0x162E, 0x77), Out(0x162E, 0xF0)})
    D.Feed(E);
  EXPECT_FALSE(D.Feed(In(0x162F, 0x5A))->ReadBefore);
  EXPECT_EQ(D.Feed(Out(0x162F, 0x58))->ReadBefore, 0x5A);
  EXPECT_FALSE(D.Feed(Out(0x162F, 0x50))->ReadBefore) << "only the write right after the read";
  D.Feed(In(0x162F, 0x50));
  D.Feed(Out(0x162E, 0xF0));
  EXPECT_FALSE(D.Feed(Out(0x162F, 0x40))->ReadBefore) << "an index write between";
}

TEST(ConfigPortDecoder, OtherPortsAndServiceCallsAreNotTheChips) {
  chip::ConfigPortDecoder D;
  EXPECT_FALSE(D.Feed(Out(0x80, 0x70)));
  EXPECT_FALSE(D.Feed(Out(0x4D, 0x77)));
  EXPECT_FALSE(D.Feed(Out(0x3F8, 0x00)));
  TraceEvent Call;
  Call.Kind = EventKind::InstallPpi;
  EXPECT_FALSE(D.Feed(Call));
  for (uint16_t P : chip::kCandidatePorts) {
    EXPECT_TRUE(D.Feed(Out(P, 0x00))) << P;
    EXPECT_TRUE(D.Feed(In(chip::DataPort(P), 0xFF))) << P;
  }
}

} // namespace
