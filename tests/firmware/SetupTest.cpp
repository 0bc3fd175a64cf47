// SPDX-License-Identifier: BSD-2-Clause-Patent
// The settings stage: which entries of the setup variable program logical
// device 8, how register 0xF0 is masked, and what happens when the variable
// or its PPI cannot be had.
#include <gtest/gtest.h>

#include "pi/Status.h"
#include "setup/SioApplySetup.h"
#include "sio/SioConfigPort.h"
#include "tests/support/Harness.h"
#include "tests/support/TraceBuilder.h"

namespace {

using test::Harness;
using test::TraceBuilder;

// Chip at 0x4E already in configuration mode, LD8 register 0xF0 = Mode.
board::Scenario SetupBoard(std::optional<std::vector<uint8_t>> Variable, uint8_t Mode = 0xFF) {
  board::Scenario S = test::ChipAt(0x4E);
  S.SetupVariable = std::move(Variable);
  S.Registers.push_back({0x08, 0xF0, Mode});
  return S;
}

struct Applied {
  uint32_t Status;
  pi::Trace Ports;
  uint8_t Mode, Value, Active;
};

Applied Apply(const board::Scenario& S) {
  Harness H(S);
  SioEnterConfig(0x4E);
  size_t Before = H.Events().size();
  uint32_t Status = engine::FromHostStatus(SioApplySetup(H.PeiServices(), 0x4E));
  pi::Trace After(H.Events().begin() + Before, H.Events().end());
  auto& Chip = *H.Board().Chip();
  return {Status, test::PortAccesses(After), Chip.Register(8, 0xF0), Chip.Register(8, 0xF1),
          Chip.Register(8, 0x30)};
}

TEST(Setup, OneMatchingEntryIsTheThirteenAccesses) {
  auto Data = board::EmptySetupData();
  board::SetLd8Entry(Data, 0, 0x5A, 0x00);
  Applied A = Apply(SetupBoard(Data));
  EXPECT_EQ(A.Status, pi::kEfiSuccess);
  EXPECT_EQ(A.Ports, TraceBuilder().Ld8Entry(0x4E, 0xFF, 0xFB, 0x5A).Events())
      << test::Dump(A.Ports);
  EXPECT_EQ(A.Mode, 0xFB);
  EXPECT_EQ(A.Value, 0x5A);
  EXPECT_EQ(A.Active, 0x01);
}

TEST(Setup, Param2SelectsTheBitsClearedAndNeverSetsOne) {
  struct Case {
    uint8_t Param2, Before, After;
  } Cases[] = {
      {0x00, 0xFF, 0xFB}, {0x01, 0xFF, 0xFD}, {0x02, 0xFF, 0xF9}, {0xFF, 0xFF, 0xF9},
      {0x00, 0x00, 0x00}, {0x01, 0x00, 0x00}, {0x02, 0x00, 0x00}, {0x00, 0x5E, 0x5A},
      {0x01, 0x5E, 0x5C}, {0x80, 0x5E, 0x58},
  };
  for (const auto& C : Cases) {
    auto Data = board::EmptySetupData();
    board::SetLd8Entry(Data, 4, 0x33, C.Param2);
    Applied A = Apply(SetupBoard(Data, C.Before));
    EXPECT_EQ(A.Mode, C.After) << "Param[2]=" << int(C.Param2) << " from " << int(C.Before);
  }
}

TEST(Setup, OnlyEnabledKind12Qualifier0EntriesAreApplied) {
  struct Case {
    const char* Name;
    uint8_t Kind, Qualifier, Enabled;
    bool Applied;
  } Cases[] = {
      {"match", 0x12, 0, 1, true},        {"disabled", 0x12, 0, 0, false},
      {"qualifier 1", 0x12, 1, 1, false}, {"enabled 2", 0x12, 0, 2, false},
      {"kind 0x7F", 0x7F, 0, 1, false},   {"kind 0x01", 0x01, 0, 1, false},
  };
  for (const auto& C : Cases) {
    auto Data = board::EmptySetupData();
    Data[12 + 3] = C.Kind;
    Data[12 + 4] = C.Qualifier;
    Data[12 + 5] = C.Enabled;
    Data[12 + 8] = 0x77;
    Applied A = Apply(SetupBoard(Data));
    EXPECT_EQ(A.Status, pi::kEfiSuccess) << C.Name;
    EXPECT_EQ(!A.Ports.empty(), C.Applied) << C.Name;
    EXPECT_EQ(A.Value, C.Applied ? 0x77 : 0x00) << C.Name;
  }
}

TEST(Setup, TwoMatchingEntriesProgramInOrderAndClearingsAddUp) {
  auto Data = board::EmptySetupData();
  board::SetLd8Entry(Data, 1, 0x11, 0x00);
  board::SetLd8Entry(Data, 3, 0x22, 0x01);
  Applied A = Apply(SetupBoard(Data));
  EXPECT_EQ(
      A.Ports,
      TraceBuilder().Ld8Entry(0x4E, 0xFF, 0xFB, 0x11).Ld8Entry(0x4E, 0xFB, 0xF9, 0x22).Events());
  EXPECT_EQ(A.Mode, 0xF9);
  EXPECT_EQ(A.Value, 0x22);
}

TEST(Setup, FifthEntryIsExaminedAfterAllZeroEntries) {
  auto Data = board::EmptySetupData();
  Data[48 + 3] = 0x12;
  Data[48 + 5] = 0x01;
  Data[48 + 8] = 0x44;
  Applied A = Apply(SetupBoard(Data));
  EXPECT_EQ(A.Value, 0x44);
  // The seven trailing bytes are the writer's: a kind-0x12 pattern there is not an entry.
  auto Tail = board::EmptySetupData();
  Tail[63] = 0x12; // where a sixth entry's Kind would sit
  Tail[64] = 0x00;
  Tail[65] = 0x01;
  EXPECT_TRUE(Apply(SetupBoard(Tail)).Ports.empty());
}

TEST(Setup, OnlyEntriesInsideTheReturnedDataAreApplied) {
  // Every entry enabled; a short variable carries only the entries it covers
  // whole (up to Param[2], at 12k + 10).
  struct Case {
    size_t Size;
    int EntriesApplied;
  } Cases[] = {{0, 0}, {11, 1}, {10, 0}, {22, 1}, {23, 2}, {58, 4}, {59, 5}, {67, 5}};
  for (const auto& C : Cases) {
    auto Full = board::EmptySetupData();
    for (size_t K = 0; K < 5; ++K)
      board::SetLd8Entry(Full, K, uint8_t(0x10 + K), 0x00);
    Applied A = Apply(SetupBoard(std::vector<uint8_t>(Full.begin(), Full.begin() + C.Size)));
    EXPECT_EQ(A.Status, pi::kEfiSuccess) << C.Size;
    EXPECT_EQ(A.Ports.size(), 13u * C.EntriesApplied) << "size " << C.Size;
    if (C.EntriesApplied > 0) {
      EXPECT_EQ(A.Value, 0x10 + C.EntriesApplied - 1) << C.Size;
    }
  }
}

TEST(Setup, ProducerClaimingMoreThanTheBufferIsNotBelieved) {
  // The producer says it wrote more than the 67-byte buffer holds: which
  // bytes are the variable's is unknown, so nothing is applied. With a short
  // variable the rest of the buffer is old stack that looks like an entry.
  for (size_t Size : {size_t(67), size_t(20)}) {
    auto Data = board::EmptySetupData();
    board::SetLd8Entry(Data, 4, 0x66, 0x00);
    board::Scenario S = SetupBoard(std::vector<uint8_t>(Data.begin(), Data.begin() + Size));
    S.Faults.StaleBuffer = Data;
    for (uint32_t Claim : {68u, 4096u, 0xFFFFFFFFu}) {
      S.Faults.GetVariableReportedSize = Claim;
      Applied A = Apply(S);
      EXPECT_EQ(A.Status, pi::kEfiBufferTooSmall) << Size << " claimed " << Claim;
      EXPECT_TRUE(A.Ports.empty()) << Size << " claimed " << Claim << "\n" << test::Dump(A.Ports);
    }
  }
}

TEST(Setup, FailuresLeaveTheChipUntouched) {
  auto Valid = board::EmptySetupData();
  board::SetLd8Entry(Valid, 0, 0x5A, 0x00);
  struct Case {
    const char* Name;
    board::Scenario Board;
    uint32_t Status;
  } Cases[] = {
      {"no variable PPI",
       [&] {
         auto S = SetupBoard(Valid);
         S.Faults.NoVariablePpi = true;
         return S;
       }(),
       pi::kEfiNotFound},
      {"LocatePpi success with NULL interface",
       [&] {
         auto S = SetupBoard(Valid);
         S.Faults.LocateReturnsNullPpi = true;
         return S;
       }(),
       pi::kEfiNotFound},
      {"LocatePpi device error",
       [&] {
         auto S = SetupBoard(Valid);
         S.Faults.LocatePpiStatus = pi::kEfiDeviceError;
         return S;
       }(),
       pi::kEfiDeviceError},
      {"no variable", SetupBoard(std::nullopt), pi::kEfiNotFound},
      {"variable of 68 bytes", SetupBoard(std::vector<uint8_t>(68, 0x12)), pi::kEfiBufferTooSmall},
      {"GetVariable device error",
       [&] {
         auto S = SetupBoard(Valid);
         S.Faults.GetVariableStatus = pi::kEfiDeviceError;
         return S;
       }(),
       pi::kEfiDeviceError},
  };
  for (const auto& C : Cases) {
    Applied A = Apply(C.Board);
    EXPECT_EQ(A.Status, C.Status) << C.Name;
    EXPECT_TRUE(A.Ports.empty()) << C.Name << "\n" << test::Dump(A.Ports);
    EXPECT_EQ(A.Mode, 0xFF) << C.Name;
  }
}

TEST(Setup, AsksForTheVariableByNameGuidAndBufferSizeWithoutAttributes) {
  Harness H(SetupBoard(board::EmptySetupData()));
  SioApplySetup(H.PeiServices(), 0x4E);
  ASSERT_EQ(H.Events().size(), 2u);
  const pi::TraceEvent& Locate = H.Events()[0];
  const pi::TraceEvent& Get = H.Events()[1];
  EXPECT_EQ(pi::FormatCallDetail(Locate), "2AB86EF5-ECB5-4134-B556-3854CA1FE1B4 instance=0");
  EXPECT_EQ(pi::FormatCallDetail(Get),
            "\"SioF81216aSetup00\" CD2E75EC-4162-411D-B7F1-E1D882E697AB size=67 -> 67");
  EXPECT_TRUE(Get.Call.NameGiven);
  EXPECT_EQ(Get.Call.Name, u"SioF81216aSetup00");
  EXPECT_EQ(Get.Call.Guid, pi::kSioSetupVendorGuid);
  EXPECT_EQ(Get.Call.BufferSize, 67u);
  // Attributes = NULL: the module has no use for them, and a producer that
  // writes them must not be given a pointer into its stack.
  EXPECT_FALSE(Get.Call.AttributesWanted);
}

} // namespace
