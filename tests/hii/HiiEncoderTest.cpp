// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup page's encoder against the binary forms the HII database reads,
// walked here byte by byte; the reader against the encoder and against
// damaged lists; the choices a user makes against the variable's bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "chip/SetupLayout.h"
#include "hii/HiiDecoder.h"
#include "hii/HiiEncoder.h"
#include "hii/IfrRecords.h"
#include "hii/PageChoices.h"
#include "hii/SetupPage.h"
#include "pi/KnownGuids.h"
#include "pi/VariableStoreRecords.h"

namespace {

uint16_t Get16(const std::vector<uint8_t>& B, size_t At) {
  return static_cast<uint16_t>(B[At] | B[At + 1] << 8);
}
uint32_t Get32(const std::vector<uint8_t>& B, size_t At) {
  return Get16(B, At) | uint32_t(Get16(B, At + 2)) << 16;
}

const hii::EncodedPage& Encoded() {
  static const hii::EncodedPage Page = [] {
    auto Result = hii::EncodePage(hii::ChipSetupPage());
    EXPECT_TRUE(Result) << Result.Message();
    return *Result;
  }();
  return Page;
}

struct Op {
  uint8_t Code;
  size_t Length;
  bool Scope;
  int Depth; // scopes open before it
  size_t At;
};

// The form package's opcodes, in order, with the depth each stands at.
std::vector<Op> Opcodes(const std::vector<uint8_t>& Forms) {
  std::vector<Op> Ops;
  int Depth = 0;
  for (size_t At = hii::kPackageHeaderSize; At < Forms.size();) {
    Op O{Forms[At], size_t(Forms[At + 1] & hii::kLengthMask), (Forms[At + 1] & 0x80) != 0, Depth,
         At};
    EXPECT_GE(O.Length, 2u) << "at " << At;
    if (O.Length < 2)
      break;
    if (O.Code == hii::kOpEnd)
      O.Depth = --Depth;
    if (O.Scope)
      ++Depth;
    Ops.push_back(O);
    At += O.Length;
  }
  EXPECT_EQ(Depth, 0);
  return Ops;
}

TEST(SetupPageEncoding, PackageListHoldsFormsStringsAndEnd) {
  const auto& E = Encoded();
  const auto& L = E.PackageList;
  ASSERT_GE(L.size(), 24u);
  EXPECT_EQ(0, std::memcmp(L.data(), pi::kSioSetupFormSetGuid.data(), 16));
  EXPECT_EQ(Get32(L, 16), L.size());
  // Forms, strings, end: each 24-bit length and its type.
  const size_t Forms = 20, Strings = Forms + E.FormPackage.size();
  EXPECT_EQ(Get32(L, Forms) & 0xFFFFFF, E.FormPackage.size());
  EXPECT_EQ(L[Forms + 3], hii::kPackageForms);
  EXPECT_EQ(Get32(L, Strings) & 0xFFFFFF, E.StringPackage.size());
  EXPECT_EQ(L[Strings + 3], hii::kPackageStrings);
  EXPECT_EQ(L.size(), Strings + E.StringPackage.size() + 4);
  EXPECT_EQ(Get32(L, L.size() - 4), 0xDF000004u);
}

TEST(SetupPageEncoding, OpcodesNestAndHaveTheirRecordSizes) {
  const std::vector<Op> Ops = Opcodes(Encoded().FormPackage);
  struct Expected {
    uint8_t Code;
    size_t Length;
    bool Scope;
    int Depth;
  };
  const size_t VarStore = hii::kVarStoreEfiBaseSize + sizeof("SioF81216aSetup00");
  const Expected Want[] = {
      {hii::kOpFormSet, 39, true, 0},      {hii::kOpDefaultStore, 6, false, 1},
      {hii::kOpDefaultStore, 6, false, 1}, {hii::kOpVarStoreEfi, VarStore, false, 1},
      {hii::kOpForm, 6, true, 1},          {hii::kOpCheckbox, 14, true, 2},
      {hii::kOpDefault, 6, false, 3},      {hii::kOpEnd, 2, false, 2},
      {hii::kOpNumeric, 17, true, 2},      {hii::kOpDefault, 6, false, 3},
      {hii::kOpEnd, 2, false, 2},          {hii::kOpOneOf, 17, true, 2},
      {hii::kOpOneOfOption, 7, false, 3},  {hii::kOpOneOfOption, 7, false, 3},
      {hii::kOpOneOfOption, 7, false, 3},  {hii::kOpEnd, 2, false, 2},
      {hii::kOpEnd, 2, false, 1},          {hii::kOpEnd, 2, false, 0},
  };
  ASSERT_EQ(Ops.size(), std::size(Want));
  for (size_t I = 0; I < Ops.size(); ++I) {
    SCOPED_TRACE("opcode " + std::to_string(I));
    EXPECT_EQ(Ops[I].Code, Want[I].Code);
    EXPECT_EQ(Ops[I].Length, Want[I].Length);
    EXPECT_EQ(Ops[I].Scope, Want[I].Scope);
    EXPECT_EQ(Ops[I].Depth, Want[I].Depth);
  }
}

TEST(SetupPageEncoding, FormSetAndVarStoreNameThePageAndTheVariable) {
  const auto& F = Encoded().FormPackage;
  const std::vector<Op> Ops = Opcodes(F);
  const size_t Set = Ops[0].At;
  EXPECT_EQ(0, std::memcmp(&F[Set + 2], pi::kSioSetupFormSetGuid.data(), 16));
  EXPECT_EQ(F[Set + 22], 1); // one class GUID
  EXPECT_EQ(0, std::memcmp(&F[Set + 23], pi::kHiiPlatformSetupFormSetGuid.data(), 16));
  // The two default stores, unnamed: standard, then manufacturing.
  for (size_t I = 0; I < 2; ++I) {
    EXPECT_EQ(Get16(F, Ops[1 + I].At + 2), 0) << I;
    EXPECT_EQ(Get16(F, Ops[1 + I].At + 4),
              I == 0 ? hii::kDefaultClassStandard : hii::kDefaultClassManufacturing);
  }
  const size_t Var = Ops[3].At;
  EXPECT_EQ(Get16(F, Var + 2), hii::ChipSetupPage().VarStoreId);
  EXPECT_EQ(0, std::memcmp(&F[Var + 4], pi::kSioSetupVendorGuid.data(), 16));
  EXPECT_EQ(Get32(F, Var + 20), pi::kVariableNonVolatile | pi::kVariableBootServiceAccess);
  EXPECT_EQ(Get16(F, Var + 24), chip::kSetupDataSize);
  EXPECT_STREQ(reinterpret_cast<const char*>(&F[Var + 26]), "SioF81216aSetup00");
  // The name is the one the module reads.
  const std::string Name(reinterpret_cast<const char*>(&F[Var + 26]));
  EXPECT_EQ(std::u16string(Name.begin(), Name.end()), chip::kSetupVariableName);
}

TEST(SetupPageEncoding, QuestionsBindTheFirstEntryWithTheirDefaults) {
  const auto& F = Encoded().FormPackage;
  const auto& Strings = Encoded().Strings;
  const std::vector<Op> Ops = Opcodes(F);
  auto Text = [&](uint16_t Id) { return Id >= 1 && Id <= Strings.size() ? Strings[Id - 1] : ""; };
  struct Expected {
    size_t OpIndex;
    uint16_t Id;
    size_t Offset;
    const char* Prompt;
    uint8_t DefaultType;
    uint8_t Default;
  } Want[] = {
      {5, 0x1001, chip::kEntryEnabled, "Logical device 8", hii::kTypeNumSize8, 0},
      {8, 0x1002, chip::kEntryParam0, "Register 0xF1", hii::kTypeNumSize8, 0},
      {11, 0x1003, chip::kEntryParam2, "Register 0xF0", 0, 0},
  };
  for (const auto& W : Want) {
    SCOPED_TRACE(W.Prompt);
    const size_t Q = Ops[W.OpIndex].At;
    EXPECT_EQ(Text(Get16(F, Q + 2)), W.Prompt);
    EXPECT_FALSE(Text(Get16(F, Q + 4)).empty());
    EXPECT_EQ(Get16(F, Q + 6), W.Id);
    EXPECT_EQ(Get16(F, Q + 8), hii::ChipSetupPage().VarStoreId);
    EXPECT_EQ(Get16(F, Q + 10), W.Offset);
    EXPECT_EQ(F[Q + 12], 0); // no question flags
    if (Ops[W.OpIndex + 1].Code == hii::kOpDefault) {
      const size_t D = Ops[W.OpIndex + 1].At;
      EXPECT_EQ(Get16(F, D + 2), hii::kDefaultClassStandard);
      EXPECT_EQ(F[D + 4], W.DefaultType);
      EXPECT_EQ(F[D + 5], W.Default);
    }
  }
  // The numeric: one byte, shown in hex, 0x00 to 0xFF by 1.
  const size_t N = Ops[8].At;
  EXPECT_EQ(F[N + 13], hii::kNumericSize1 | hii::kDisplayUintHex);
  EXPECT_EQ(F[N + 14], 0x00);
  EXPECT_EQ(F[N + 15], 0xFF);
  EXPECT_EQ(F[N + 16], 1);
  // The one-of: one byte, its values unsigned.
  EXPECT_EQ(F[Ops[11].At + 13], hii::kNumericSize1 | hii::kDisplayUintDec);
  // The one-of's options: text, value, and the default flag on value 0 only.
  const std::pair<const char*, uint8_t> Options[] = {{"clear bit 2 (AND 0xFB)", 0},
                                                     {"clear bit 1 (AND 0xFD)", 1},
                                                     {"clear bits 1 and 2 (AND 0xF9)", 2}};
  for (size_t I = 0; I < 3; ++I) {
    const size_t O = Ops[12 + I].At;
    EXPECT_EQ(Text(Get16(F, O + 2)), Options[I].first);
    EXPECT_EQ(F[O + 4], I == 0 ? hii::kOptionDefault : 0);
    EXPECT_EQ(F[O + 5], hii::kTypeNumSize8);
    EXPECT_EQ(F[O + 6], Options[I].second);
  }
}

TEST(SetupPageEncoding, StringPackageIsEnglishUcs2InIdOrder) {
  const auto& S = Encoded().StringPackage;
  const uint32_t HeaderSize = Get32(S, 4);
  EXPECT_EQ(HeaderSize, hii::kStringHeaderBaseSize + sizeof("en-US"));
  EXPECT_EQ(Get32(S, 8), HeaderSize);
  EXPECT_EQ(Get16(S, 44), 1); // the language's name is string 1
  EXPECT_STREQ(reinterpret_cast<const char*>(&S[46]), "en-US");
  size_t At = HeaderSize;
  for (const std::string& Text : Encoded().Strings) {
    ASSERT_EQ(S[At], hii::kSibtStringUcs2);
    ++At;
    for (char C : Text) {
      EXPECT_EQ(Get16(S, At), static_cast<uint16_t>(C));
      At += 2;
    }
    EXPECT_EQ(Get16(S, At), 0);
    At += 2;
  }
  EXPECT_EQ(S[At], hii::kSibtEnd);
  EXPECT_EQ(At + 1, S.size());
  EXPECT_EQ(Encoded().Strings[0], "English");
  EXPECT_EQ(Encoded().Strings[1], "F81216a Super I/O");
}

TEST(SetupPageDecoding, ReadsBackTheTable) {
  auto Page = hii::DecodePackageList(Encoded().PackageList);
  ASSERT_TRUE(Page) << Page.Message();
  const hii::SetupPage& Table = hii::ChipSetupPage();
  EXPECT_EQ(Page->Title, Table.Title);
  EXPECT_EQ(Page->Help, Table.Help);
  EXPECT_EQ(Page->Language, "en-US");
  ASSERT_EQ(Page->ClassGuids.size(), 1u);
  EXPECT_EQ(Page->ClassGuids[0], pi::kHiiPlatformSetupFormSetGuid);
  ASSERT_EQ(Page->VarStores.size(), 1u);
  EXPECT_EQ(Page->VarStores[0].Name, Table.VariableName);
  ASSERT_EQ(Page->Questions.size(), Table.Questions.size());
  for (size_t I = 0; I < Table.Questions.size(); ++I) {
    const auto& Q = Page->Questions[I];
    const auto& T = Table.Questions[I];
    SCOPED_TRACE(T.Prompt);
    EXPECT_EQ(Q.Kind, T.Kind);
    EXPECT_EQ(Q.Id, T.Id);
    EXPECT_EQ(Q.Offset, T.Offset);
    EXPECT_EQ(Q.Prompt, T.Prompt);
    EXPECT_EQ(Q.Help, T.Help);
    EXPECT_EQ(Q.Default, T.Default);
    EXPECT_EQ(Q.Options.size(), T.Options.size());
  }
}

// Damage done to a good list and what the reader must say.
TEST(SetupPageDecoding, RefusesDamagedLists) {
  const std::vector<uint8_t> Good = Encoded().PackageList;
  const size_t Forms = 20;
  const size_t Strings = Forms + Encoded().FormPackage.size();
  const size_t FirstOp = Forms + 4;
  struct Case {
    const char* Name;
    std::function<void(std::vector<uint8_t>&)> Damage;
    const char* Says;
  } Cases[] = {
      {"list longer than given", [](auto& L) { L[16] += 1; }, "length"},
      {"list cut short", [](auto& L) { L.resize(L.size() - 4); }, "length"},
      {"no end package", [&](auto& L) { L[L.size() - 1] = 0x05; }, "no end package"},
      {"package longer than the list", [&](auto& L) { L[Forms + 2] = 0x7F; }, "package at"},
      {"opcode of length 0", [&](auto& L) { L[FirstOp + 1] = 0x80; }, "length 0"},
      {"formset scope never closed", [&](auto& L) { L[Strings - 2] = hii::kOpDefault; }, ""},
      {"string id missing", [&](auto& L) { L[FirstOp + 18] = 0xFF; }, "string id"},
      {"string package of another block type",
       [&](auto& L) { L[Strings + Get32(L, Strings + 4)] = 0x15; }, "block type"},
      {"question outside the variable",
       [&](auto& L) {
         // Past the formset, the two default stores, the varstore and the form.
         const size_t Checkbox = FirstOp + 39 + 2 * hii::kDefaultStoreSize + 44 + 6;
         L[Checkbox + 10] = 67;
       },
       "outside"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::vector<uint8_t> L = Good;
    C.Damage(L);
    auto Page = hii::DecodePackageList(L);
    ASSERT_FALSE(Page);
    EXPECT_NE(Page.Message().find(C.Says), std::string::npos) << Page.Message();
  }
  // Every cut of the list is refused without reading past it.
  for (size_t Size = 0; Size < Good.size(); ++Size) {
    std::vector<uint8_t> Cut(Good.begin(), Good.begin() + static_cast<std::ptrdiff_t>(Size));
    EXPECT_FALSE(hii::DecodePackageList(Cut)) << Size;
  }
}

TEST(SetupPageEncoding, RefusesATableItCannotEncode) {
  const hii::SetupPage& Good = hii::ChipSetupPage();
  std::vector<hii::Question> Questions(Good.Questions.begin(), Good.Questions.end());
  const hii::OneOfOption NoZero[] = {{"one", 1}, {"two", 2}};
  const hii::OneOfOption Twice[] = {{"zero", 0}, {"again", 0}};
  struct Case {
    const char* Name;
    std::function<void(std::vector<hii::Question>&, hii::SetupPage&)> Change;
  } Cases[] = {
      {"two questions share an id", [](auto& Q, auto&) { Q[1].Id = Q[0].Id; }},
      {"question id 0", [](auto& Q, auto&) { Q[0].Id = 0; }},
      {"offset past the variable", [](auto& Q, auto&) { Q[2].Offset = 67; }},
      {"numeric default outside its range", [](auto& Q, auto&) { Q[1].Minimum = 1; }},
      {"checkbox default 2", [](auto& Q, auto&) { Q[0].Default = 2; }},
      {"one-of without the default's option", [&](auto& Q, auto&) { Q[2].Options = NoZero; }},
      {"one-of option values repeat", [&](auto& Q, auto&) { Q[2].Options = Twice; }},
      {"prompt not ASCII", [](auto& Q, auto&) { Q[0].Prompt = "Ger\xC3\xA4t"; }},
      {"title empty", [](auto&, auto& P) { P.Title = ""; }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::vector<hii::Question> Q = Questions;
    hii::SetupPage Page = Good;
    C.Change(Q, Page);
    Page.Questions = Q;
    EXPECT_FALSE(hii::EncodePage(Page));
  }
}

TEST(SetupPageChoices, SetTheQuestionsByteAndRefuseWhatTheyDoNotTake) {
  auto Page = hii::DecodePackageList(Encoded().PackageList);
  ASSERT_TRUE(Page);
  struct Case {
    const char* Choice;
    bool Ok;
    size_t Offset;
    uint8_t Value;
  } Cases[] = {
      {"Logical device 8=Enabled", true, chip::kEntryEnabled, 1},
      {"Logical device 8=Disabled", true, chip::kEntryEnabled, 0},
      {"Register 0xF1=0x3C", true, chip::kEntryParam0, 0x3C},
      {"Register 0xF1=255", true, chip::kEntryParam0, 0xFF},
      {"Register 0xF0=clear bit 1 (AND 0xFD)", true, chip::kEntryParam2, 1},
      {"Register 0xF0=2", true, chip::kEntryParam2, 2},
      {"Logical device 8=yes", false, 0, 0},
      {"Register 0xF1=0x100", false, 0, 0},
      {"Register 0xF1=", false, 0, 0},
      {"Register 0xF0=3", false, 0, 0},
      {"Register 0xF2=1", false, 0, 0},
      {"Register 0xF1", false, 0, 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Choice);
    std::vector<uint8_t> Data(chip::kSetupDataSize, 0xEE);
    auto Applied = hii::ApplyChoice(*Page, C.Choice, Data);
    EXPECT_EQ(bool(Applied), C.Ok);
    for (size_t I = 0; I < Data.size(); ++I)
      EXPECT_EQ(Data[I], C.Ok && I == C.Offset ? C.Value : 0xEE) << "byte " << I;
  }
  EXPECT_EQ(hii::ValueText(Page->Questions[1], 0x3C), "0x3C");
  EXPECT_EQ(hii::ValueText(Page->Questions[2], 7), "0x07 (no option)");
}

} // namespace
