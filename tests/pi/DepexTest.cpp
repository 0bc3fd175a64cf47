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

// What the PEI Foundation decides for each set of installed PPIs: the
// variable PPI alone, the ready PPI alone, both, none.
TEST(Depex, EvaluatesAsThePeiFoundationWouldForEachSetOfInstalledPpis) {
  const pi::Guid Var = pi::kReadOnlyVariable2PpiGuid, Ready = pi::kSioReadyPpiGuid;
  struct Case {
    const char* Name;
    std::vector<uint8_t> Code;
    bool None, VarOnly, ReadyOnly, Both;
  };
  const Case Cases[] = {
      {"VARIABLE_PPI", packaging::EncodeDepex(DepexChoice::VariablePpi), false, true, false, true},
      {"TRUE", packaging::EncodeDepex(DepexChoice::True), true, true, true, true},
      {"FALSE", packaging::EncodeDepex(DepexChoice::False), false, false, false, false},
      {"var AND ready", pi::DepexWriter().Push(Var).Push(Ready).And().Finish(), false, false, false,
       true},
      {"var OR ready", pi::DepexWriter().Push(Var).Push(Ready).Or().Finish(), false, true, true,
       true},
      {"NOT var", pi::DepexWriter().Push(Var).Not().Finish(), true, false, true, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    const auto With = [&C](bool HasVar, bool HasReady) {
      return pi::EvaluatePeiDepex(C.Code,
                                  [&](const pi::Guid& G) {
                                    return (G == pi::kReadOnlyVariable2PpiGuid && HasVar) ||
                                           (G == pi::kSioReadyPpiGuid && HasReady);
                                  })
          .Value();
    };
    EXPECT_EQ(With(false, false), C.None);
    EXPECT_EQ(With(true, false), C.VarOnly);
    EXPECT_EQ(With(false, true), C.ReadyOnly);
    EXPECT_EQ(With(true, true), C.Both);
  }
  EXPECT_EQ(pi::DepexPpis(pi::DepexWriter().Push(Var).Push(Ready).Push(Var).Or().Or().Finish()),
            (std::vector<pi::Guid>{Var, Ready}));
  EXPECT_FALSE(pi::EvaluatePeiDepex(Hex("0203"), [](const pi::Guid&) { return true; }));
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
