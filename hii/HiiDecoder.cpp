// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "hii/HiiDecoder.h"

#include <algorithm>
#include <cstdint>
#include <map>

#include "hii/IfrRecords.h"

namespace hii {
namespace {

uint16_t Get16(std::span<const uint8_t> B, size_t At) {
  return static_cast<uint16_t>(B[At] | B[At + 1] << 8);
}
uint32_t Get32(std::span<const uint8_t> B, size_t At) {
  return Get16(B, At) | uint32_t(Get16(B, At + 2)) << 16;
}
uint32_t Get24(std::span<const uint8_t> B, size_t At) {
  return B[At] | uint32_t(B[At + 1]) << 8 | uint32_t(B[At + 2]) << 16;
}
pi::Guid GetGuid(std::span<const uint8_t> B, size_t At) {
  pi::Guid G{};
  std::copy_n(B.begin() + static_cast<std::ptrdiff_t>(At), G.size(), G.begin());
  return G;
}

// UCS-2 to UTF-8.
void AppendUtf8(std::string& Out, uint16_t C) {
  if (C < 0x80) {
    Out.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    Out.push_back(static_cast<char>(0xC0 | C >> 6));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    Out.push_back(static_cast<char>(0xE0 | C >> 12));
    Out.push_back(static_cast<char>(0x80 | (C >> 6 & 0x3F)));
    Out.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

sio::Result<std::map<uint16_t, std::string>> ReadStrings(std::span<const uint8_t> Package,
                                                         std::string& Language) {
  if (Package.size() < kStringHeaderBaseSize + 1)
    return sio::Fail("string package: header truncated");
  const uint32_t HeaderSize = Get32(Package, 4);
  const uint32_t InfoOffset = Get32(Package, 8);
  if (HeaderSize < kStringHeaderBaseSize + 1 || HeaderSize > Package.size() ||
      InfoOffset < HeaderSize || InfoOffset > Package.size())
    return sio::Fail("string package: header size or string offset outside the package");
  Language.clear();
  for (size_t I = kStringHeaderBaseSize; I < HeaderSize && Package[I] != 0; ++I)
    Language.push_back(static_cast<char>(Package[I]));
  std::map<uint16_t, std::string> Strings;
  uint16_t Id = 1;
  for (size_t At = InfoOffset;;) {
    if (At >= Package.size())
      return sio::Fail("string package: no end block");
    const uint8_t Type = Package[At++];
    if (Type == kSibtEnd)
      break;
    if (Type != kSibtStringUcs2)
      return sio::Fail("string package: block type " + std::to_string(Type) +
                       " is not read here (only UCS-2 strings)");
    std::string Text;
    for (;;) {
      if (At + 2 > Package.size())
        return sio::Fail("string package: string " + std::to_string(Id) + " not terminated");
      const uint16_t C = Get16(Package, At);
      At += 2;
      if (C == 0)
        break;
      AppendUtf8(Text, C);
    }
    if (Id == 0xFFFF)
      return sio::Fail("string package: more strings than ids");
    Strings[Id++] = std::move(Text);
  }
  return Strings;
}

struct Reader {
  const std::map<uint16_t, std::string>& Strings;
  DecodedPage Page;
  bool FormSetSeen = false;

  sio::Result<std::string> String(uint16_t Id) const {
    auto Found = Strings.find(Id);
    if (Found == Strings.end())
      return sio::Fail("string id " + std::to_string(Id) + " is not in the string package");
    return Found->second;
  }

  sio::Result<void> Question(std::span<const uint8_t> Op, QuestionKind Kind, size_t Need) {
    if (Op.size() < Need)
      return sio::Fail("opcode " + std::to_string(Op[0]) + ": " + std::to_string(Op.size()) +
                       " bytes, expected at least " + std::to_string(Need));
    DecodedQuestion Q;
    Q.Kind = Kind;
    auto Prompt = String(Get16(Op, 2));
    if (!Prompt)
      return Prompt.Failure();
    auto Help = String(Get16(Op, 4));
    if (!Help)
      return Help.Failure();
    Q.Prompt = *Prompt;
    Q.Help = *Help;
    Q.Id = Get16(Op, 6);
    Q.VarStoreId = Get16(Op, 8);
    Q.Offset = Get16(Op, 10);
    const uint8_t Flags = Op[kOpHeaderSize + kQuestionHeaderSize];
    if (Kind == QuestionKind::Checkbox) {
      Q.Default = (Flags & kCheckboxDefault) ? 1 : 0;
      Q.Minimum = 0;
      Q.Maximum = 1;
    } else {
      if ((Flags & kNumericSizeMask) != kNumericSize1)
        return sio::Fail("question " + std::to_string(Q.Id) +
                         ": a value wider than a byte is not read here");
      Q.Hex = (Flags & kDisplayMask) == kDisplayUintHex;
      Q.Minimum = Op[14];
      Q.Maximum = Op[15];
      Q.Step = Op[16];
    }
    Page.Questions.push_back(std::move(Q));
    return {};
  }
};

} // namespace

sio::Result<DecodedPage> DecodePackageList(std::span<const uint8_t> List) {
  if (List.size() < kPackageListHeaderSize)
    return sio::Fail("package list: header truncated");
  const uint32_t ListLength = Get32(List, 16);
  if (ListLength < kPackageListHeaderSize || ListLength > List.size())
    return sio::Fail("package list: length " + std::to_string(ListLength) + " outside the " +
                     std::to_string(List.size()) + " bytes given");
  List = List.first(ListLength);
  std::span<const uint8_t> Forms, StringPackage;
  bool Ended = false;
  for (size_t At = kPackageListHeaderSize; At < List.size() && !Ended;) {
    if (List.size() - At < kPackageHeaderSize)
      return sio::Fail("package list: package header truncated at " + std::to_string(At));
    const uint32_t Length = Get24(List, At);
    const uint8_t Type = List[At + 3];
    if (Length < kPackageHeaderSize || Length > List.size() - At)
      return sio::Fail("package list: package at " + std::to_string(At) + " has length " +
                       std::to_string(Length));
    auto Package = List.subspan(At, Length);
    if (Type == kPackageForms && Forms.empty())
      Forms = Package;
    else if (Type == kPackageStrings && StringPackage.empty())
      StringPackage = Package;
    else if (Type == kPackageEnd)
      Ended = true;
    At += Length;
  }
  if (!Ended)
    return sio::Fail("package list: no end package");
  if (Forms.empty())
    return sio::Fail("package list: no form package");
  if (StringPackage.empty())
    return sio::Fail("package list: no string package");
  std::string Language;
  auto Strings = ReadStrings(StringPackage, Language);
  if (!Strings)
    return Strings.Failure();
  Reader R{*Strings, {}};
  R.Page.ListGuid = GetGuid(List, 0);
  R.Page.Language = Language;

  // The IFR: each opcode's length from its header; scopes counted so the
  // last END closes the formset.
  int Depth = 0;
  // The question whose scope holds defaults and options (an index: the list grows).
  constexpr size_t kNone = SIZE_MAX;
  size_t OpenIndex = kNone;
  int OpenDepth = 0;
  auto Open = [&]() -> DecodedQuestion* {
    return OpenIndex != kNone && Depth == OpenDepth ? &R.Page.Questions[OpenIndex] : nullptr;
  };
  for (size_t At = kPackageHeaderSize; At < Forms.size();) {
    if (Forms.size() - At < kOpHeaderSize)
      return sio::Fail("form package: opcode header truncated at " + std::to_string(At));
    const uint8_t Code = Forms[At];
    const size_t Length = Forms[At + 1] & kLengthMask;
    const bool Scope = (Forms[At + 1] & kScopeBit) != 0;
    if (Length < kOpHeaderSize || Length > Forms.size() - At)
      return sio::Fail("form package: opcode " + std::to_string(Code) + " at " +
                       std::to_string(At) + " has length " + std::to_string(Length));
    auto Op = Forms.subspan(At, Length);
    auto Short = [&](size_t Need) -> sio::Result<void> {
      if (Op.size() < Need)
        return sio::Fail("form package: opcode " + std::to_string(Code) + " at " +
                         std::to_string(At) + ": " + std::to_string(Op.size()) +
                         " bytes, expected " + std::to_string(Need));
      return {};
    };
    sio::Result<void> Read;
    switch (Code) {
    case kOpFormSet: {
      if (R.FormSetSeen)
        return sio::Fail("form package: a second formset");
      if (!(Read = Short(kFormSetBaseSize)))
        break;
      const size_t Classes = Op[22] & 0x03;
      if (!(Read = Short(kFormSetBaseSize + 16 * Classes)))
        break;
      R.FormSetSeen = true;
      R.Page.FormSetGuid = GetGuid(Op, 2);
      auto Title = R.String(Get16(Op, 18));
      auto Help = R.String(Get16(Op, 20));
      if (!Title)
        return Title.Failure();
      if (!Help)
        return Help.Failure();
      R.Page.Title = *Title;
      R.Page.Help = *Help;
      for (size_t I = 0; I < Classes; ++I)
        R.Page.ClassGuids.push_back(GetGuid(Op, kFormSetBaseSize + 16 * I));
      break;
    }
    case kOpVarStoreEfi: {
      if (!(Read = Short(kVarStoreEfiBaseSize + 1)))
        break;
      DecodedVarStore V;
      V.Id = Get16(Op, 2);
      V.Guid = GetGuid(Op, 4);
      V.Attributes = Get32(Op, 20);
      V.Size = Get16(Op, 24);
      size_t I = kVarStoreEfiBaseSize;
      for (; I < Op.size() && Op[I] != 0; ++I)
        V.Name.push_back(static_cast<char>(Op[I]));
      if (I == Op.size())
        return sio::Fail("form package: varstore name not terminated");
      R.Page.VarStores.push_back(std::move(V));
      break;
    }
    case kOpCheckbox:
      Read = R.Question(Op, QuestionKind::Checkbox, kCheckboxSize);
      break;
    case kOpNumeric:
      Read = R.Question(Op, QuestionKind::Numeric, kByteRangeQuestionSize);
      break;
    case kOpOneOf:
      Read = R.Question(Op, QuestionKind::OneOf, kByteRangeQuestionSize);
      break;
    case kOpOneOfOption: {
      if (!(Read = Short(kByteOptionSize)))
        break;
      DecodedQuestion* OneOf = Open();
      if (!OneOf || OneOf->Kind != QuestionKind::OneOf)
        return sio::Fail("form package: an option outside a one-of");
      if (Op[5] != kTypeNumSize8)
        return sio::Fail("form package: an option of a type this reader does not show");
      auto Text = R.String(Get16(Op, 2));
      if (!Text)
        return Text.Failure();
      const bool IsDefault = (Op[4] & kOptionDefault) != 0;
      OneOf->Options.push_back({*Text, Op[6], IsDefault});
      if (IsDefault && !OneOf->Default)
        OneOf->Default = Op[6];
      break;
    }
    case kOpDefault: {
      if (!(Read = Short(kByteDefaultSize)))
        break;
      if (DecodedQuestion* Q = Open(); Q && Get16(Op, 2) == kDefaultClassStandard)
        Q->Default = Op[5]; // a DEFAULT opcode outranks the flags
      break;
    }
    default:
      break; // forms, ends and opcodes a browser may skip
    }
    if (!Read)
      return Read.Failure();
    if (Code == kOpCheckbox || Code == kOpNumeric || Code == kOpOneOf) {
      OpenIndex = kNone;
      if (Scope)
        OpenIndex = R.Page.Questions.size() - 1;
      OpenDepth = Depth + 1;
    }
    if (Code == kOpEnd) {
      if (Depth == 0)
        return sio::Fail("form package: an END with no scope open");
      if (Open())
        OpenIndex = kNone;
      --Depth;
    }
    if (Scope)
      ++Depth;
    At += Length;
    if (Depth == 0 && R.FormSetSeen && At < Forms.size())
      return sio::Fail("form package: bytes after the formset's end");
  }
  if (!R.FormSetSeen)
    return sio::Fail("form package: no formset");
  if (Depth != 0)
    return sio::Fail("form package: " + std::to_string(Depth) + " scopes left open");
  for (const DecodedQuestion& Q : R.Page.Questions) {
    auto Store = std::find_if(R.Page.VarStores.begin(), R.Page.VarStores.end(),
                              [&](const DecodedVarStore& V) { return V.Id == Q.VarStoreId; });
    if (Store == R.Page.VarStores.end())
      return sio::Fail("question \"" + Q.Prompt + "\": varstore " + std::to_string(Q.VarStoreId) +
                       " is not an EFI varstore of the formset");
    if (Q.Offset >= Store->Size)
      return sio::Fail("question \"" + Q.Prompt + "\": offset " + std::to_string(Q.Offset) +
                       " outside the variable's " + std::to_string(Store->Size) + " bytes");
  }
  return R.Page;
}

} // namespace hii
