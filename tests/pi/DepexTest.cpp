// SPDX-License-Identifier: BSD-2-Clause-Patent
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "packaging/SioModuleFile.h"
#include "pi/Depex.h"
#include "pi/KnownGuids.h"

namespace {

using packaging::DepexChoice;

// The reason CheckPeiDepex gives; empty when the expression is sound.
std::string CheckPeiDepex(const std::vector<uint8_t>& Code) {
  auto Checked = pi::CheckPeiDepex(Code);
  return Checked ? std::string() : Checked.Message();
}

std::vector<uint8_t> Hex(const std::string& Text) {
  std::vector<uint8_t> Bytes;
  for (size_t I = 0; I + 1 < Text.size(); I += 2) {
    Bytes.push_back(static_cast<uint8_t>(std::stoul(Text.substr(I, 2), nullptr, 16)));
  }
  return Bytes;
}

const std::string kVariablePpi = "F56EB82AB5EC3441B5563854CA1FE1B4";
const std::string kReadyPpi = "E2DE3B6FCF6F2E4980AC7C786D9FC397";

TEST(Depex, EachChoiceEncodesAsThePeiFoundationReadsIt) {
  struct Case {
    DepexChoice Choice;
    std::string Bytes;
  };
  const Case Cases[] = {
      {DepexChoice::VariablePpi, "02" + kVariablePpi + "08"},
      {DepexChoice::True, "0608"},
      {DepexChoice::False, "0708"},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(packaging::EncodeDepex(C.Choice), Hex(C.Bytes))
        << packaging::DepexChoiceName(C.Choice);
    EXPECT_EQ(CheckPeiDepex(packaging::EncodeDepex(C.Choice)), "");
  }
}

TEST(Depex, WriterKeepsPostfixOrder) {
  const auto Code = pi::DepexWriter()
                        .Push(pi::kReadOnlyVariable2PpiGuid)
                        .Push(pi::kSioReadyPpiGuid)
                        .And()
                        .Finish();
  EXPECT_EQ(Code, Hex("02" + kVariablePpi + "02" + kReadyPpi + "0308"));
  EXPECT_EQ(Code.size() + 4, 40u); // the section is 40 bytes with its header
}

TEST(Depex, ChoiceNamesParseInAnyCaseAndNothingElse) {
  struct Case {
    std::string Name;
    std::optional<DepexChoice> Choice;
  };
  const Case Cases[] = {
      {"VARIABLE_PPI", DepexChoice::VariablePpi},
      {"variable_ppi", DepexChoice::VariablePpi},
      {"True", DepexChoice::True},
      {"FALSE", DepexChoice::False},
      {"", std::nullopt},
      {"TRUEX", std::nullopt},
      {"VARIABLE", std::nullopt},
      {"1", std::nullopt},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(packaging::ParseDepexChoice(C.Name), C.Choice) << C.Name;
}

TEST(Depex, CheckerRejectsWhatThePeiFoundationCannotEvaluate) {
  struct Case {
    std::string Bytes;
    std::string Fault; // part of the reason; empty: sound
  };
  const Case Cases[] = {
      {"060508", ""},                                        // NOT TRUE
      {"02" + kVariablePpi + "02" + kReadyPpi + "0408", ""}, // A OR B
      {"", "no END"},
      {"0606", "no END"},
      {"08", "leaves 0 values"},
      {"060608", "leaves 2 values"},
      {"060308", "AND/OR at byte 1"},
      {"0508", "NOT at byte 0"},
      {"02" + kVariablePpi.substr(0, 30), "lacks its GUID"},
      {"060808", "bytes after END"},
      {"01" + kVariablePpi + "08", "not allowed in a PEI expression"}, // AFTER
      {"00" + kVariablePpi + "08", "not allowed in a PEI expression"}, // BEFORE
      {"090608", "not allowed in a PEI expression"},                   // SOR
      {"0A08", "unknown opcode 10"},
  };
  for (const Case& C : Cases) {
    const std::string Reason = CheckPeiDepex(Hex(C.Bytes));
    if (C.Fault.empty()) {
      EXPECT_EQ(Reason, "") << C.Bytes;
    } else {
      EXPECT_NE(Reason.find(C.Fault), std::string::npos) << C.Bytes << ": " << Reason;
    }
  }
}

} // namespace
