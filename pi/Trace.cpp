// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/Trace.h"

#include <cstdio>

#include "pi/Status.h"

namespace pi {
namespace {

void AppendAscii(std::string& Text, std::u16string_view Name) {
  for (char16_t C : Name)
    Text += (C >= 0x20 && C < 0x7F) ? static_cast<char>(C) : '?';
}

void AppendNumber(std::string& Text, uint64_t Value) {
  Text += std::to_string(Value);
}

void AppendHex32(std::string& Text, uint32_t Value) {
  char Digits[16];
  std::snprintf(Digits, sizeof Digits, "%08X", Value);
  Text += Digits;
}

} // namespace

const char* KindName(EventKind Kind) {
  switch (Kind) {
  case EventKind::IoRead:
    return "in";
  case EventKind::IoWrite:
    return "out";
  case EventKind::InstallPpi:
    return "InstallPpi";
  case EventKind::LocatePpi:
    return "LocatePpi";
  case EventKind::GetVariable:
    return "GetVariable";
  }
  return "?";
}

std::string FormatCallDetail(const TraceEvent& E) {
  const ServiceCall& C = E.Call;
  std::string Text;
  switch (E.Kind) {
  case EventKind::InstallPpi:
    if (!C.ListWellFormed || C.Ppis.empty())
      return "malformed list";
    for (const auto& Ppi : C.Ppis) {
      if (!Text.empty())
        Text += ' ';
      AppendGuid(Text, Ppi.Guid);
      Text += " flags=0x";
      AppendHex32(Text, Ppi.Flags);
      Text += Ppi.HasInterface ? " interface" : " no-interface";
    }
    return Text;
  case EventKind::LocatePpi:
    if (C.Guid)
      AppendGuid(Text, *C.Guid);
    Text += " instance=";
    AppendNumber(Text, C.Instance);
    if (C.DescriptorWanted)
      Text += " descriptor";
    if (C.NullInterface)
      Text += " null-interface";
    return Text;
  case EventKind::GetVariable:
    if (C.NameGiven) {
      Text += '"';
      AppendAscii(Text, C.Name);
      Text += '"';
    } else {
      Text += "NULL-name";
    }
    Text += ' ';
    if (C.Guid)
      AppendGuid(Text, *C.Guid);
    else
      Text += "NULL-guid";
    if (C.AttributesWanted)
      Text += " attributes";
    Text += " size=";
    AppendNumber(Text, C.BufferSize);
    Text += " -> ";
    AppendNumber(Text, C.DataSize);
    return Text;
  case EventKind::IoRead:
  case EventKind::IoWrite:
    break;
  }
  return Text;
}

std::string FormatEvent(const TraceEvent& E) {
  if (E.IsPortAccess()) {
    char Text[64];
    std::snprintf(Text, sizeof Text, "%s%u 0x%04X %s 0x%0*X", KindName(E.Kind), E.Width * 8u,
                  E.Port, E.Kind == EventKind::IoRead ? "->" : "<-", E.Width * 2, E.Value);
    return Text;
  }
  return std::string(KindName(E.Kind)) + "(" + FormatCallDetail(E) + ") -> " + StatusName(E.Status);
}

} // namespace pi
