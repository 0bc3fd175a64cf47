// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module keeps its own copy of the chip's facts (it is the code under
// test); the host side states them once in chip/ and pi/KnownGuids.h. These
// tests hold the two copies equal, fact by fact.
#include <gtest/gtest.h>

#include <cstring>

#include "chip/BoardValues.h"
#include "chip/ExpectedPass.h"
#include "chip/Registers.h"
#include "chip/SetupLayout.h"
#include "entry/SioBringUp.h"
#include "entry/SioInitScript.h"
#include "entry/SioReadyPpi.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"
#include "pi/VariableStoreRecords.h"
#include "platform/PiDxe.h"
#include "setup/SioApplySetup.h"
#include "setup/SioSetupData.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"

namespace {

TEST(ChipFacts, RegistersKeysAndIdMatchTheModule) {
  struct Fact {
    const char* Name;
    unsigned Module;
    unsigned Host;
  } Facts[] = {
      {"enter key", SioEnterKey, chip::kEnterKey},
      {"exit key", SioExitKey, chip::kExitKey},
      {"logical device register", SioRegLogicalDevice, chip::kRegLogicalDevice},
      {"chip ID register, high", SioRegChipIdHigh, chip::kRegChipIdHigh},
      {"chip ID register, low", SioRegChipIdLow, chip::kRegChipIdLow},
      {"activate register", SioRegActivate, chip::kRegActivate},
      {"I/O base register, high", SioRegIoBaseHigh, chip::kRegIoBaseHigh},
      {"I/O base register, low", SioRegIoBaseLow, chip::kRegIoBaseLow},
      {"interrupt register", SioRegInterrupt, chip::kRegInterrupt},
      {"logical device 8", SioLd8, chip::kLd8},
      {"LD8 mode register", SioLd8RegMode, chip::kLd8RegMode},
      {"LD8 value register", SioLd8RegValue, chip::kLd8RegValue},
      {"LD8 mode bit 1", SioLd8ModeBit1, chip::kLd8ModeBit1},
      {"LD8 mode bit 2", SioLd8ModeBit2, chip::kLd8ModeBit2},
      {"chip ID, high (table entry 0)", SioDeviceTable[0].ChipIdHigh, chip::kChipIdHigh},
      {"chip ID, low (table entry 0)", SioDeviceTable[0].ChipIdLow, chip::kChipIdLow},
      {"data port of 0x4E", SioDataPort(0x4E), chip::DataPort(0x4E)},
  };
  for (const auto& F : Facts)
    EXPECT_EQ(F.Module, F.Host) << F.Name;
}

// The built-in table, entry by entry in its 12-byte record layout (ChipIdHigh,
// ChipIdLow, Aux, Kind, Qualifier, Enabled, IoBase little-endian, Param[4]):
// the fields the table's initializers name land in the bytes they mean.
TEST(ChipFacts, DeviceTableHoldsItsRecordBytes) {
  const uint8_t Expected[][12] = {
      {0x02, 0x16, 0x00, 0x01, 0x00, 0x01, 0xE8, 0x03, 0x00, 0x00, 0x04, 0x00},
      {0x02, 0x16, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00},
      {0x02, 0x16, 0x00, 0x12, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
      {0x02, 0x16, 0x00, 0x7F, 0x00, 0x00, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00},
      {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
  };
  ASSERT_EQ(sizeof SioDeviceTable, sizeof Expected);
  for (size_t I = 0; I < std::size(Expected); ++I)
    EXPECT_EQ(std::memcmp(&SioDeviceTable[I], Expected[I], 12), 0) << "entry " << I;
  EXPECT_EQ(SioDeviceTable[0].Kind, SioKindScriptDevice);
  EXPECT_TRUE(SioIsTerminator(SioDeviceTable[std::size(Expected) - 1]));
}

TEST(ChipFacts, ProbeOrderMatchesTheModulesTable) {
  // The table's configuration-port entry names the port probed first; the
  // candidate ports follow.
  const SioDeviceEntry* Config = nullptr;
  for (const SioDeviceEntry* E = SioDeviceTable; !SioIsTerminator(*E); ++E) {
    EXPECT_EQ(E->ChipIdHigh, chip::kChipIdHigh);
    EXPECT_EQ(E->ChipIdLow, chip::kChipIdLow);
    if (E->Kind == SioKindConfig) {
      EXPECT_EQ(Config, nullptr) << "one configuration-port entry";
      Config = E;
    }
  }
  ASSERT_NE(Config, nullptr);
  EXPECT_EQ(Config->IoBase, chip::kProbeOrder[0]);
  EXPECT_EQ(Config->IoBase, chip::kFirstProbePort);
  ASSERT_EQ(std::size(SioCandidatePorts), chip::kCandidatePorts.size());
  for (size_t I = 0; I < chip::kCandidatePorts.size(); ++I) {
    EXPECT_EQ(SioCandidatePorts[I], chip::kCandidatePorts[I]) << I;
    EXPECT_EQ(SioCandidatePorts[I], chip::kProbeOrder[I + 1]) << I;
  }
}

TEST(ChipFacts, EarlyWritesAndScriptMatchTheModule) {
  const chip::PortWrite Module[] = {{2, SioPostCodePort, SioPostCode},
                                    {4, SioPciConfigAddressPort, SioLpcBridgeDecodeAddress},
                                    {4, SioPciConfigDataPort, SioLpcBridgeDecodeValue}};
  for (size_t I = 0; I < chip::kEarlyWrites.size(); ++I) {
    EXPECT_EQ(Module[I].Width, chip::kEarlyWrites[I].Width) << I;
    EXPECT_EQ(Module[I].Port, chip::kEarlyWrites[I].Port) << I;
    EXPECT_EQ(Module[I].Value, chip::kEarlyWrites[I].Value) << I;
  }
  ASSERT_EQ(SioInitScriptLength, chip::kInitScript.size());
  for (size_t I = 0; I < chip::kInitScript.size(); ++I) {
    EXPECT_EQ(SioInitScript[I].Register, chip::kInitScript[I].Reg) << "pair " << I;
    EXPECT_EQ(SioInitScript[I].Value, chip::kInitScript[I].Value) << "pair " << I;
  }
}

// The defaults of the image's board record are the expected pass's values:
// an unpatched image does what the module always did.
TEST(ChipFacts, TheBoardRecordsDefaultsAreTheExpectedPass) {
  const chip::BoardValues& Defaults = chip::DefaultBoardValues();
  ASSERT_EQ(Defaults.EarlyWrites().size(), chip::kEarlyWrites.size());
  for (size_t I = 0; I < chip::kEarlyWrites.size(); ++I) {
    EXPECT_EQ(Defaults.EarlyWrites()[I].Port, chip::kEarlyWrites[I].Port) << I;
    EXPECT_EQ(Defaults.EarlyWrites()[I].Width, chip::kEarlyWrites[I].Width) << I;
    EXPECT_EQ(Defaults.EarlyWrites()[I].Value, chip::kEarlyWrites[I].Value) << I;
  }
  EXPECT_EQ(Defaults.ProbeOrder(),
            std::vector<uint16_t>(chip::kProbeOrder.begin(), chip::kProbeOrder.end()));
  const auto Script = Defaults.Script();
  ASSERT_EQ(Script.size(), chip::kInitScript.size());
  for (size_t I = 0; I < Script.size(); ++I) {
    EXPECT_EQ(Script[I].Reg, chip::kInitScript[I].Reg) << "pair " << I;
    EXPECT_EQ(Script[I].Value, chip::kInitScript[I].Value) << "pair " << I;
  }
  // After the end pair the reserved bytes are 0, and so is the closing pair.
  for (size_t I = 2 * Script.size(); I < Defaults.ScriptBytes.size(); ++I)
    EXPECT_EQ(Defaults.ScriptBytes[I], 0) << "script byte " << I;
  EXPECT_EQ(SioBoardConfigDefaults.InitScriptClosing.Register, 0);
  EXPECT_EQ(SioBoardConfigDefaults.InitScriptClosing.Value, 0);
}

TEST(ChipFacts, SetupLayoutMatchesTheModule) {
  EXPECT_EQ(std::u16string_view(SioSetupVariableName), chip::kSetupVariableName);
  EXPECT_EQ(SioSetupEntryCount, chip::kSetupEntryCount);
  EXPECT_EQ(sizeof(SioDeviceEntry), chip::kSetupEntrySize);
  EXPECT_EQ(SioSetupDataSize, chip::kSetupDataSize);
  EXPECT_EQ(SioSetupKindOffset, chip::kEntryKind);
  EXPECT_EQ(SioSetupQualifierOffset, chip::kEntryQualifier);
  EXPECT_EQ(SioSetupEnabledOffset, chip::kEntryEnabled);
  EXPECT_EQ(SioSetupParam0Offset, chip::kEntryParam0);
  EXPECT_EQ(SioSetupParam2Offset, chip::kEntryParam2);
  EXPECT_EQ(SioSetupEntryReach, chip::kEntryReach);
  EXPECT_EQ(SioKindLd8, chip::kKindLd8);
}

TEST(ChipFacts, GuidsAndReadyPpiMatchTheModule) {
  struct Fact {
    const char* Name;
    const EFI_GUID& Module;
    const pi::Guid& Host;
  } Facts[] = {
      {"read-only variable PPI", gEfiPeiReadOnlyVariable2PpiGuid, pi::kReadOnlyVariable2PpiGuid},
      {"ready PPI", SioReadyPpiGuid, pi::kSioReadyPpiGuid},
      {"setup vendor GUID", SioSetupVendorGuid, pi::kSioSetupVendorGuid},
      {"HII database protocol", gEfiHiiDatabaseProtocolGuid, pi::kHiiDatabaseProtocolGuid},
      {"device path protocol", gEfiDevicePathProtocolGuid, pi::kDevicePathProtocolGuid},
  };
  for (const auto& F : Facts) {
    static_assert(sizeof(EFI_GUID) == sizeof(pi::Guid));
    EXPECT_EQ(std::memcmp(&F.Module, F.Host.data(), F.Host.size()), 0) << F.Name;
  }
  EXPECT_EQ(SioReadyPpiDescriptor.Flags, chip::kReadyPpiFlags);
  EXPECT_EQ(SioReadyPpiDescriptor.Guid, &SioReadyPpiGuid);
  EXPECT_EQ(SioReadyPpiDescriptor.Ppi, nullptr);
}

TEST(ChipFacts, SetupDriverStatusAndAttributesMatchTheHostSide) {
  EXPECT_EQ(pi::NarrowStatus(EFI_ACCESS_DENIED), pi::kEfiAccessDenied);
  EXPECT_EQ(EFI_VARIABLE_NON_VOLATILE, pi::kVariableNonVolatile);
  EXPECT_EQ(EFI_VARIABLE_BOOTSERVICE_ACCESS, pi::kVariableBootServiceAccess);
}

} // namespace
