// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable put into OVMF's variable store and read back from the
// Shell's dmpstore output as the serial console shows it (colour sequences,
// carriage returns): what the store holds after StoreSetupVariable, and which
// dumps ParseDumpedVariable takes and which it refuses.
#include <gtest/gtest.h>

#include "board/Scenario.h"
#include "chip/SetupLayout.h"
#include "common/BuildPaths.h"
#include "ovmf/SetupVariableStore.h"
#include "pi/KnownGuids.h"
#include "pi/VariableStore.h"

#include <fstream>
#include <iterator>

namespace {

// The header line as the Shell colours it on the console.
const std::string kHeader =
    "Variable \x1b[1m\x1b[37m\x1b[40mNV+BS\x1b[0m\x1b[37m\x1b[40m '\x1b[1m\x1b[37m\x1b[40m"
    "CD2E75EC-4162-411D-B7F1-E1D882E697AB\x1b[0m\x1b[37m\x1b[40m:\x1b[1m\x1b[37m\x1b[40m"
    "SioF81216aSetup00\x1b[0m\x1b[37m\x1b[40m' DataSize = 0x13\r\n";
const std::string kDump =
    "  00000000: 00 00 00 00 00 00 00 00-00 00 00 00 02 16 00 12  *................*\r\n"
    "  00000010: 00 01 33                                         *..3*\r\n";
const std::vector<uint8_t> kBytes = {0, 0, 0,    0,    0,    0,    0,    0,    0,   0,
                                     0, 0, 0x02, 0x16, 0x00, 0x12, 0x00, 0x01, 0x33};

TEST(DumpedVariable, ReadsTheBytesTheShellShows) {
  const auto Shown =
      ovmf::ParseDumpedVariable(ovmf::DumpSetupVariableCommand() + "\r\n" + kHeader + kDump);
  ASSERT_TRUE(Shown) << Shown.Message();
  EXPECT_EQ(*Shown, kBytes);
}

TEST(DumpedVariable, RefusesDumpsThatDoNotShowTheVariable) {
  struct Case {
    const char* What;
    std::string Output;
    const char* Message;
  };
  std::string OtherName = kHeader;
  OtherName.replace(OtherName.find("Setup00"), 7, "Setup01");
  std::string OutOfOrder = kDump;
  OutOfOrder.replace(OutOfOrder.find("00000010"), 8, "00000020");
  std::string BadByte = kDump;
  BadByte.replace(BadByte.find("33"), 2, "3G");
  const Case Cases[] = {
      {"not found", "dmpstore: No matching variables found.\r\n", "names no variable"},
      {"another variable", OtherName + kDump, "names no variable"},
      {"dump cut short", kHeader + kDump.substr(0, kDump.find('\n') + 1), "declares 19"},
      {"lines out of order", kHeader + OutOfOrder, "out of order"},
      {"a byte that is not hex", kHeader + BadByte, "bad byte"},
  };
  for (const Case& C : Cases) {
    const auto Shown = ovmf::ParseDumpedVariable(C.Output);
    ASSERT_FALSE(Shown) << C.What;
    EXPECT_NE(Shown.Message().find(C.Message), std::string::npos)
        << C.What << ": " << Shown.Message();
  }
}

TEST(StoredSetupVariable, OneValidNonVolatileBootServiceCopyAfterEachStore) {
  std::ifstream In(sio::build::kOvmfVars, std::ios::binary);
  const std::vector<uint8_t> Vars((std::istreambuf_iterator<char>(In)), {});
  auto First = ovmf::StoreSetupVariable(Vars, kBytes);
  ASSERT_TRUE(First) << First.Message();
  const std::vector<uint8_t> Longer(300, 0x5A);
  auto Second = ovmf::StoreSetupVariable(*First, Longer);
  ASSERT_TRUE(Second) << Second.Message();
  auto Store = pi::VariableStore::Open(*Second);
  ASSERT_TRUE(Store) << Store.Message();
  const auto* Valid = Store->FindValid(chip::kSetupVariableName, pi::kSioSetupVendorGuid);
  ASSERT_NE(Valid, nullptr);
  EXPECT_EQ(Valid->Data, Longer);
  EXPECT_EQ(Valid->Attributes, ovmf::kStoredSetupAttributes);
  size_t ValidCopies = 0;
  for (const auto& R : Store->Records())
    ValidCopies += R.Valid() && R.Name == chip::kSetupVariableName;
  EXPECT_EQ(ValidCopies, 1u);
  EXPECT_FALSE(ovmf::StoreSetupVariable(std::vector<uint8_t>(4096, 0xFF), kBytes))
      << "a file that holds no store";
}

} // namespace
