// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "hii/HiiEncoder.h"

#include <algorithm>
#include <set>

#include "hii/IfrRecords.h"

namespace hii {
namespace {

bool PrintableAscii(std::string_view Text) {
  return !Text.empty() &&
         std::all_of(Text.begin(), Text.end(), [](char C) { return C >= 0x20 && C < 0x7F; });
}

void Put16(std::vector<uint8_t>& Out, uint16_t Value) {
  Out.push_back(static_cast<uint8_t>(Value));
  Out.push_back(static_cast<uint8_t>(Value >> 8));
}
void Put32(std::vector<uint8_t>& Out, uint32_t Value) {
  Put16(Out, static_cast<uint16_t>(Value));
  Put16(Out, static_cast<uint16_t>(Value >> 16));
}
void PutGuid(std::vector<uint8_t>& Out, const pi::Guid& Value) {
  Out.insert(Out.end(), Value.begin(), Value.end());
}
void PutPackageHeader(std::vector<uint8_t>& Out, size_t Length, uint8_t Type) {
  Out.push_back(static_cast<uint8_t>(Length));
  Out.push_back(static_cast<uint8_t>(Length >> 8));
  Out.push_back(static_cast<uint8_t>(Length >> 16));
  Out.push_back(Type);
}

// Opcodes are appended with their header; Op returns where the record starts
// so its length is checked against the record's size when it is complete.
class IfrWriter {
public:
  void Op(uint8_t Code, size_t Size, bool Scope) {
    Start_ = Bytes.size();
    Size_ = Size;
    Bytes.push_back(Code);
    Bytes.push_back(static_cast<uint8_t>(Size | (Scope ? kScopeBit : 0)));
  }
  // The record has its declared size (a table mistake otherwise).
  bool Done() const { return Bytes.size() - Start_ == Size_; }
  void End() { Op(kOpEnd, kEndSize, false); }
  void QuestionHeader(uint16_t Prompt, uint16_t Help, uint16_t Id, uint16_t VarStore,
                      uint16_t Offset) {
    Put16(Bytes, Prompt);
    Put16(Bytes, Help);
    Put16(Bytes, Id);
    Put16(Bytes, VarStore);
    Put16(Bytes, Offset);
    Bytes.push_back(0); // question flags
  }
  void Default(uint8_t Type, uint8_t Value) {
    Op(kOpDefault, kByteDefaultSize, false);
    Put16(Bytes, kDefaultClassStandard);
    Bytes.push_back(Type);
    Bytes.push_back(Value);
  }
  std::vector<uint8_t> Bytes;

private:
  size_t Start_ = 0;
  size_t Size_ = 0;
};

sio::Result<void> CheckPage(const SetupPage& Page) {
  if (!PrintableAscii(Page.Title) || !PrintableAscii(Page.Help) ||
      !PrintableAscii(Page.LanguageName) || !PrintableAscii(Page.Language) ||
      !PrintableAscii(Page.VariableName))
    return sio::Fail("the page's title, help, language or variable name is not printable ASCII");
  if (Page.Questions.empty())
    return sio::Fail("the page has no question");
  std::set<uint16_t> Ids;
  for (const Question& Q : Page.Questions) {
    const std::string Where = "question \"" + std::string(Q.Prompt) + "\": ";
    if (!PrintableAscii(Q.Prompt) || !PrintableAscii(Q.Help))
      return sio::Fail(Where + "prompt or help is not printable ASCII");
    if (Q.Id == 0 || !Ids.insert(Q.Id).second)
      return sio::Fail(Where + "question id " + std::to_string(Q.Id) + " is 0 or taken");
    if (Q.Offset >= Page.VariableSize)
      return sio::Fail(Where + "offset " + std::to_string(Q.Offset) + " is outside the variable");
    switch (Q.Kind) {
    case QuestionKind::Checkbox:
      if (Q.Default > 1)
        return sio::Fail(Where + "a checkbox's default is 0 or 1");
      break;
    case QuestionKind::Numeric:
      if (Q.Minimum > Q.Maximum || Q.Default < Q.Minimum || Q.Default > Q.Maximum)
        return sio::Fail(Where + "the default is outside the range");
      break;
    case QuestionKind::OneOf: {
      if (Q.Options.empty())
        return sio::Fail(Where + "a one-of without options");
      std::set<uint8_t> Values;
      for (const OneOfOption& O : Q.Options) {
        if (!PrintableAscii(O.Text) || !Values.insert(O.Value).second)
          return sio::Fail(Where + "option \"" + std::string(O.Text) +
                           "\" is not printable ASCII or repeats a value");
      }
      if (!Values.contains(Q.Default))
        return sio::Fail(Where + "no option holds the default");
      break;
    }
    }
  }
  return {};
}

} // namespace

sio::Result<EncodedPage> EncodePage(const SetupPage& Page) {
  if (auto Checked = CheckPage(Page); !Checked)
    return Checked.Failure();
  EncodedPage Out;
  // String ids in the order the page names them, from 1 (the language's name).
  auto AddString = [&](std::string_view Text) {
    Out.Strings.emplace_back(Text);
    return static_cast<uint16_t>(Out.Strings.size());
  };
  const uint16_t LanguageNameId = AddString(Page.LanguageName);
  const uint16_t TitleId = AddString(Page.Title);
  const uint16_t HelpId = AddString(Page.Help);

  IfrWriter W;
  const size_t FormSetSize = kFormSetBaseSize + 16;
  W.Op(kOpFormSet, FormSetSize, true);
  PutGuid(W.Bytes, Page.FormSetGuid);
  Put16(W.Bytes, TitleId);
  Put16(W.Bytes, HelpId);
  W.Bytes.push_back(1); // one class GUID
  PutGuid(W.Bytes, Page.ClassGuid);
  bool Sized = W.Done();

  // The standard and manufacturing default stores, unnamed. Without them a
  // browser still shows each question's DEFAULT, but configuration routing
  // reports no defaults for the formset (no ALTCFG strings), so a request to
  // restore defaults through it finds none.
  for (const uint16_t DefaultId : {kDefaultClassStandard, kDefaultClassManufacturing}) {
    W.Op(kOpDefaultStore, kDefaultStoreSize, false);
    Put16(W.Bytes, 0);
    Put16(W.Bytes, DefaultId);
    Sized = Sized && W.Done();
  }

  W.Op(kOpVarStoreEfi, kVarStoreEfiBaseSize + Page.VariableName.size() + 1, false);
  Put16(W.Bytes, Page.VarStoreId);
  PutGuid(W.Bytes, Page.VariableGuid);
  Put32(W.Bytes, Page.VariableAttributes);
  Put16(W.Bytes, Page.VariableSize);
  W.Bytes.insert(W.Bytes.end(), Page.VariableName.begin(), Page.VariableName.end());
  W.Bytes.push_back(0);
  Sized = Sized && W.Done();

  W.Op(kOpForm, kFormSize, true);
  Put16(W.Bytes, Page.FormId);
  Put16(W.Bytes, TitleId);
  Sized = Sized && W.Done();

  for (const Question& Q : Page.Questions) {
    const uint16_t Prompt = AddString(Q.Prompt);
    const uint16_t Help = AddString(Q.Help);
    switch (Q.Kind) {
    case QuestionKind::Checkbox:
      // The default both as the checkbox's flag and as a DEFAULT opcode,
      // which a browser prefers when both are there.
      W.Op(kOpCheckbox, kCheckboxSize, true);
      W.QuestionHeader(Prompt, Help, Q.Id, Page.VarStoreId, Q.Offset);
      W.Bytes.push_back(Q.Default ? kCheckboxDefault : 0);
      Sized = Sized && W.Done();
      // Typed by the byte the checkbox is stored in, as a VFR compiler types it.
      W.Default(kTypeNumSize8, Q.Default);
      W.End();
      break;
    case QuestionKind::Numeric:
      W.Op(kOpNumeric, kByteRangeQuestionSize, true);
      W.QuestionHeader(Prompt, Help, Q.Id, Page.VarStoreId, Q.Offset);
      W.Bytes.push_back(kNumericSize1 | (Q.Hex ? kDisplayUintHex : kDisplayUintDec));
      W.Bytes.push_back(Q.Minimum);
      W.Bytes.push_back(Q.Maximum);
      W.Bytes.push_back(Q.Step);
      Sized = Sized && W.Done();
      W.Default(kTypeNumSize8, Q.Default);
      W.End();
      break;
    case QuestionKind::OneOf: {
      W.Op(kOpOneOf, kByteRangeQuestionSize, true);
      W.QuestionHeader(Prompt, Help, Q.Id, Page.VarStoreId, Q.Offset);
      W.Bytes.push_back(kNumericSize1 | kDisplayUintDec);
      uint8_t Low = 0xFF, High = 0;
      for (const OneOfOption& O : Q.Options) {
        Low = std::min(Low, O.Value);
        High = std::max(High, O.Value);
      }
      W.Bytes.push_back(Low);
      W.Bytes.push_back(High);
      W.Bytes.push_back(0); // no step between options
      Sized = Sized && W.Done();
      for (const OneOfOption& O : Q.Options) {
        W.Op(kOpOneOfOption, kByteOptionSize, false);
        Put16(W.Bytes, AddString(O.Text));
        W.Bytes.push_back(O.Value == Q.Default ? kOptionDefault : 0);
        W.Bytes.push_back(kTypeNumSize8);
        W.Bytes.push_back(O.Value);
        Sized = Sized && W.Done();
      }
      W.End();
      break;
    }
    }
  }
  W.End(); // the form
  W.End(); // the formset
  if (!Sized)
    return sio::Fail(sio::ErrorKind::Failed,
                     "an IFR record's size differs from its declared length");

  PutPackageHeader(Out.FormPackage, kPackageHeaderSize + W.Bytes.size(), kPackageForms);
  Out.FormPackage.insert(Out.FormPackage.end(), W.Bytes.begin(), W.Bytes.end());

  // The string package: header with the language, one UCS-2 block per string
  // in id order, the end block.
  std::vector<uint8_t> Blocks;
  for (const std::string& Text : Out.Strings) {
    Blocks.push_back(kSibtStringUcs2);
    for (char C : Text)
      Put16(Blocks, static_cast<uint8_t>(C));
    Put16(Blocks, 0);
  }
  Blocks.push_back(kSibtEnd);
  const size_t HeaderSize = kStringHeaderBaseSize + Page.Language.size() + 1;
  PutPackageHeader(Out.StringPackage, HeaderSize + Blocks.size(), kPackageStrings);
  Put32(Out.StringPackage, static_cast<uint32_t>(HeaderSize));
  Put32(Out.StringPackage, static_cast<uint32_t>(HeaderSize)); // the blocks follow the header
  Out.StringPackage.resize(Out.StringPackage.size() + 32, 0);  // no language window
  Put16(Out.StringPackage, LanguageNameId);
  Out.StringPackage.insert(Out.StringPackage.end(), Page.Language.begin(), Page.Language.end());
  Out.StringPackage.push_back(0);
  Out.StringPackage.insert(Out.StringPackage.end(), Blocks.begin(), Blocks.end());

  const size_t ListSize = kPackageListHeaderSize + Out.FormPackage.size() +
                          Out.StringPackage.size() + kPackageHeaderSize;
  PutGuid(Out.PackageList, Page.FormSetGuid);
  Put32(Out.PackageList, static_cast<uint32_t>(ListSize));
  Out.PackageList.insert(Out.PackageList.end(), Out.FormPackage.begin(), Out.FormPackage.end());
  Out.PackageList.insert(Out.PackageList.end(), Out.StringPackage.begin(), Out.StringPackage.end());
  PutPackageHeader(Out.PackageList, kPackageHeaderSize, kPackageEnd);
  return Out;
}

} // namespace hii
