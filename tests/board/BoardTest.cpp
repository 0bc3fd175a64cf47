// SPDX-License-Identifier: BSD-2-Clause-Patent
// The simulated board's own contracts that the tests above rely on.
#include <gtest/gtest.h>

#include "board/Board.h"
#include "board/SuperIoChip.h"
#include "chip/ConfigPortDecoder.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"
#include "tests/support/TraceBuilder.h"

namespace {

TEST(Bus, UnclaimedReadsFloatHighAndEveryAccessIsRecorded) {
  board::Scenario NoChip;
  NoChip.ChipPort = std::nullopt;
  board::Board B(NoChip);
  EXPECT_EQ(B.Bus().Read(0x4F, 1), 0xFFu);
  EXPECT_EQ(B.Bus().Read(0x80, 2), 0xFFFFu);
  EXPECT_EQ(B.Bus().Read(0x1234, 4), 0xFFFFFFFFu);
  B.Bus().Write(0x80, 2, 0x12345);
  ASSERT_EQ(B.Events().size(), 4u);
  EXPECT_EQ(B.Events()[3].Value, 0x2345u) << "a write keeps only its width";
  EXPECT_EQ(B.PostCodes().Codes(), std::vector<uint32_t>{0x2345});
}

TEST(LpcBridge, ConfigDataReachesOnlyTheAddressedFunction) {
  board::Board B(board::Scenario{});
  B.Bus().Write(0xCFC, 4, 0x11111111); // no address latched yet
  B.Bus().Write(0xCF8, 4, 0x8000F880);
  B.Bus().Write(0xCFC, 4, 0x3F0F0017);
  B.Bus().Write(0xCF8, 4, 0x8000F884);
  B.Bus().Write(0xCFE, 1, 0xAB);       // byte 2 of dword 0x84
  B.Bus().Write(0xCF8, 4, 0x0000F880); // enable bit clear
  B.Bus().Write(0xCFC, 4, 0x22222222);
  B.Bus().Write(0xCF8, 4, 0x8000F980); // function 1
  B.Bus().Write(0xCFC, 4, 0x33333333);
  EXPECT_EQ(B.Bus().Read(0xCFC, 4), 0xFFFFFFFFu);
  const uint8_t Expected[] = {0x17, 0x00, 0x0F, 0x3F, 0x00, 0x00, 0xAB, 0x00};
  for (uint8_t I = 0; I < 8; ++I)
    EXPECT_EQ(B.Bridge().ConfigByte(0x80 + I), Expected[I]) << int(I);
  EXPECT_FALSE(B.Bridge().ConfigByteWritten(0x84));
  EXPECT_TRUE(B.Bridge().ConfigByteWritten(0x86));
}

TEST(VariableStore, GetVariableFollowsTheReadOnlyVariablePpiContract) {
  pi::Trace Log;
  board::PeiFoundation Pei(Log, {});
  std::u16string Name = u"SioF81216aSetup00";
  Pei.SetVariable({Name, pi::kSioSetupVendorGuid}, std::vector<uint8_t>(40, 0x5A), 7);
  auto Ok = Pei.GetVariable(Name, pi::kSioSetupVendorGuid, true, 67, true, false);
  EXPECT_EQ(Ok.Status, pi::kEfiSuccess);
  EXPECT_EQ(Ok.DataSize, 40u);
  EXPECT_EQ(Ok.Data.size(), 40u);
  auto Small = Pei.GetVariable(Name, pi::kSioSetupVendorGuid, true, 39, true, false);
  EXPECT_EQ(Small.Status, pi::kEfiBufferTooSmall);
  EXPECT_EQ(Small.DataSize, 40u);
  EXPECT_TRUE(Small.Data.empty());
  EXPECT_EQ(Pei.GetVariable(Name, pi::kSioReadyPpiGuid, true, 67, true, false).Status,
            pi::kEfiNotFound);
  EXPECT_EQ(Pei.GetVariable(u"Other", pi::kSioSetupVendorGuid, true, 67, true, false).Status,
            pi::kEfiNotFound);
  EXPECT_EQ(Pei.GetVariable(std::nullopt, pi::kSioSetupVendorGuid, true, 67, true, false).Status,
            pi::kEfiInvalidParameter);
  EXPECT_EQ(Log.size(), 5u);
}

TEST(PpiDatabase, InstallValidatesTheListAndLocateFindsInstances) {
  pi::Trace Log;
  board::PeiFoundation Pei(Log, {});
  board::PpiDescriptor Good{0x80000010, pi::kSioReadyPpiGuid, 0x1000, 0};
  board::PpiDescriptor NoPpiBit{0x80000000, pi::kSioReadyPpiGuid, 0x2000, 0};
  EXPECT_EQ(Pei.InstallPpi(std::nullopt), pi::kEfiInvalidParameter);
  EXPECT_EQ(Pei.InstallPpi(std::vector{NoPpiBit}), pi::kEfiInvalidParameter);
  EXPECT_TRUE(Pei.Installed().empty());
  EXPECT_EQ(Pei.InstallPpi(std::vector{Good}), pi::kEfiSuccess);
  EXPECT_EQ(Pei.InstallPpi(std::vector{Good}), pi::kEfiSuccess);
  EXPECT_EQ(Pei.LocatePpi(pi::kSioReadyPpiGuid, 1, true).DescriptorAddress, 0x1000u);
  EXPECT_EQ(Pei.LocatePpi(pi::kSioReadyPpiGuid, 2, false).Status, pi::kEfiNotFound);
  EXPECT_EQ(Pei.LocatePpi(pi::kReadOnlyVariable2PpiGuid, 0, false).Status, pi::kEfiNotFound);
}

TEST(Names, GuidsAndStatusesRoundTrip) {
  EXPECT_EQ(pi::FormatGuid(pi::kSioReadyPpiGuid), "6F3BDEE2-6FCF-492E-80AC-7C786D9FC397");
  EXPECT_EQ(pi::kReadOnlyVariable2PpiGuid[0], 0xF5);
  EXPECT_EQ(pi::kReadOnlyVariable2PpiGuid[15], 0xB4);
  EXPECT_FALSE(pi::ParseGuid("6F3BDEE2-6FCF-492E-80AC-7C786D9FC39"));
  EXPECT_FALSE(pi::ParseGuid("6F3BDEE2+6FCF-492E-80AC-7C786D9FC397"));
  EXPECT_FALSE(pi::ParseGuid("6F3BDEE2-6FCF-492E-80AC-7C786D9FC39G"));
  EXPECT_EQ(pi::StatusName(0x80000003), "EFI_UNSUPPORTED");
  EXPECT_EQ(pi::StatusName(0x8000001D), "0x8000001D");
  EXPECT_EQ(pi::ParseStatus("EFI_NOT_FOUND"), 0x8000000Eu);
  EXPECT_EQ(pi::ParseStatus("0x80000007"), 0x80000007u);
  EXPECT_FALSE(pi::ParseStatus("0x"));
  EXPECT_FALSE(pi::ParseStatus("0x1FFFFFFFF"));
}

// Every status of the UEFI architecture is known by name, errors and
// warnings alike, in both directions; codes it leaves unused have none.
TEST(Names, EveryArchitecturalStatusHasItsName) {
  const std::pair<const char*, uint32_t> Known[] = {
      {"EFI_SUCCESS", 0},
      {"EFI_LOAD_ERROR", 0x80000001},
      {"EFI_VOLUME_CORRUPTED", 0x8000000A},
      {"EFI_VOLUME_FULL", 0x8000000B},
      {"EFI_NO_MEDIA", 0x8000000C},
      {"EFI_MEDIA_CHANGED", 0x8000000D},
      {"EFI_NO_RESPONSE", 0x80000010},
      {"EFI_NO_MAPPING", 0x80000011},
      {"EFI_TIMEOUT", 0x80000012},
      {"EFI_NOT_STARTED", 0x80000013},
      {"EFI_ALREADY_STARTED", 0x80000014},
      {"EFI_ABORTED", 0x80000015},
      {"EFI_ICMP_ERROR", 0x80000016},
      {"EFI_TFTP_ERROR", 0x80000017},
      {"EFI_PROTOCOL_ERROR", 0x80000018},
      {"EFI_INCOMPATIBLE_VERSION", 0x80000019},
      {"EFI_SECURITY_VIOLATION", 0x8000001A},
      {"EFI_CRC_ERROR", 0x8000001B},
      {"EFI_END_OF_MEDIA", 0x8000001C},
      {"EFI_END_OF_FILE", 0x8000001F},
      {"EFI_INVALID_LANGUAGE", 0x80000020},
      {"EFI_COMPROMISED_DATA", 0x80000021},
      {"EFI_IP_ADDRESS_CONFLICT", 0x80000022},
      {"EFI_HTTP_ERROR", 0x80000023},
      {"EFI_WARN_UNKNOWN_GLYPH", 1},
      {"EFI_WARN_DELETE_FAILURE", 2},
      {"EFI_WARN_WRITE_FAILURE", 3},
      {"EFI_WARN_BUFFER_TOO_SMALL", 4},
      {"EFI_WARN_STALE_DATA", 5},
      {"EFI_WARN_FILE_SYSTEM", 6},
      {"EFI_WARN_RESET_REQUIRED", 7},
  };
  for (const auto& [Name, Value] : Known) {
    EXPECT_EQ(pi::ParseStatus(Name), Value) << Name;
    EXPECT_EQ(pi::StatusName(Value), Name);
  }
  for (uint32_t Unused : {0x8000001Du, 0x8000001Eu, 0x80000024u, 8u}) {
    EXPECT_EQ(pi::StatusName(Unused).substr(0, 2), "0x") << Unused;
  }
}

TEST(SuperIoChip, ScenarioReadAnswersReplaceDataPortReadsInOrder) {
  // Two odd answers, then the registers again; outside configuration mode
  // the data port floats and no answer is used up.
  board::Scenario S;
  S.ChipReadAnswers = {0x5A, 0x02};
  board::Board B(S);
  EXPECT_EQ(B.Bus().Read(0x4F, 1), 0xFFu);
  B.Bus().Write(0x4E, 1, 0x77);
  B.Bus().Write(0x4E, 1, 0x77);
  B.Bus().Write(0x4E, 1, 0x20);
  EXPECT_EQ(B.Bus().Read(0x4F, 1), 0x5Au);
  EXPECT_EQ(B.Bus().Read(0x4F, 1), 0x02u);
  B.Bus().Write(0x4E, 1, 0x21);
  EXPECT_EQ(B.Bus().Read(0x4F, 1), 0x16u);
}

TEST(SuperIoChip, ModeFollowsTheDecodersKeysAndResetClosesIt) {
  // Index writes that open, break and close configuration mode; after each
  // the model is in the mode exactly when the trace decoder says so, its
  // data port floats outside it, and a register selected in it reads back.
  const uint8_t Writes[] = {0x77, 0x20, 0x77, 0x77, 0x21, 0x77, 0xAA, 0x77,
                            0xAA, 0x77, 0x77, 0x20, 0xAA, 0x20, 0x77, 0x77};
  board::SuperIoChip Chip(0x2E, 0x02, 0x16);
  chip::ConfigPortState Decoder;
  for (size_t I = 0; I < std::size(Writes); ++I) {
    Chip.Write(0x2E, 1, Writes[I]);
    const chip::PortAccess A = Decoder.Index(test::Out(0x2E, Writes[I]));
    ASSERT_EQ(Chip.InConfigMode(), Decoder.InConfigMode()) << "write " << I;
    if (!Chip.InConfigMode()) {
      EXPECT_EQ(Chip.Read(0x2F, 1), 0xFFu) << "write " << I;
    }
    if (A.Step == chip::PortStep::SelectRegister && A.Reg == 0x21) {
      EXPECT_EQ(Chip.Read(0x2F, 1), 0x16u) << "write " << I;
    }
  }
  ASSERT_TRUE(Chip.InConfigMode());
  // A reset chip is out of the mode, and one enter key left over from before
  // it does not pair with the next.
  Chip.Write(0x2E, 1, 0xAA);
  Chip.Write(0x2E, 1, 0x77);
  Chip.Reset(0x2E, 0x02, 0x16);
  EXPECT_FALSE(Chip.InConfigMode());
  Chip.Write(0x2E, 1, 0x77);
  EXPECT_FALSE(Chip.InConfigMode());
  Chip.Write(0x2E, 1, 0x77);
  EXPECT_TRUE(Chip.InConfigMode());
}

TEST(PeiFoundation, StaleBufferBytesLieBeyondTheCopiedVariable) {
  pi::Trace Log;
  board::PeiFaults F;
  F.StaleBuffer = {9, 9, 9, 9, 9, 9};
  board::PeiFoundation Pei(Log, F);
  Pei.SetVariable({u"V", pi::kSioSetupVendorGuid}, {1, 2}, 0);
  auto R = Pei.GetVariable(u"V", pi::kSioSetupVendorGuid, true, 4, true, false);
  EXPECT_EQ(R.Status, pi::kEfiSuccess);
  EXPECT_EQ(R.DataSize, 2u);
  EXPECT_EQ(R.Data, (std::vector<uint8_t>{1, 2, 9, 9})) << "never beyond the caller's 4 bytes";
}

} // namespace
