// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/SetupVariableStore.h"

#include "ovmf/ConsoleText.h"

#include <cctype>
#include <charconv>
#include <sstream>

#include "board/Scenario.h"
#include "chip/SetupLayout.h"
#include "pi/KnownGuids.h"
#include "pi/VariableStore.h"

namespace ovmf {
namespace {

std::optional<unsigned> HexNumber(std::string_view Text) {
  unsigned Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value, 16);
  if (Error != std::errc() || End != Text.data() + Text.size())
    return std::nullopt;
  return Value;
}

std::string SetupNameText() {
  std::string Name;
  for (char16_t C : chip::kSetupVariableName)
    Name += static_cast<char>(C);
  return Name;
}

} // namespace

sio::Result<std::vector<uint8_t>> StoreSetupVariable(std::span<const uint8_t> Vars,
                                                     std::span<const uint8_t> Content,
                                                     uint32_t Attributes) {
  auto Store = pi::VariableStore::Open(Vars);
  if (!Store)
    return Store.Failure();
  pi::NewVariable Variable;
  Variable.Name = std::u16string(chip::kSetupVariableName);
  Variable.VendorGuid = pi::kSioSetupVendorGuid;
  Variable.Attributes = Attributes;
  Variable.Data = Content;
  return Store->WithVariable(Variable);
}

std::string DumpSetupVariableCommand() {
  return "dmpstore " + SetupNameText() + " -guid " + pi::FormatGuid(pi::kSioSetupVendorGuid);
}

sio::Result<std::vector<uint8_t>> ParseDumpedVariable(const std::string& ShellOutput) {
  const std::string Text = PlainConsoleText(ShellOutput);
  // "Variable NV+BS 'CD2E75EC-...:SioF81216aSetup00' DataSize = 0x43"
  const std::string Name = ":" + SetupNameText() + "'";
  std::istringstream Lines(Text);
  std::string Line;
  std::optional<unsigned> Size;
  while (std::getline(Lines, Line)) {
    const size_t At = Line.find(Name);
    const size_t SizeAt = Line.find("DataSize = 0x");
    if (Line.starts_with("Variable ") && At != std::string::npos && SizeAt != std::string::npos) {
      Size = HexNumber(std::string_view(Line).substr(SizeAt + 13));
      break;
    }
  }
  if (!Size)
    return sio::Fail(sio::ErrorKind::Failed, "dmpstore names no variable " + SetupNameText());
  // "  00000000: 02 16 00 12 00 01 00 00-5A 00 00 00 00 00 00 00  *....*"
  std::vector<uint8_t> Data;
  while (Data.size() < *Size && std::getline(Lines, Line)) {
    const size_t Colon = Line.find(": ");
    if (Colon == std::string::npos || Colon < 8)
      break;
    const auto Offset = HexNumber(std::string_view(Line).substr(Colon - 8, 8));
    if (!Offset || *Offset != Data.size())
      return sio::Fail(sio::ErrorKind::Failed,
                       "dmpstore's dump of " + SetupNameText() + " is out of order");
    const size_t End = Line.find('*', Colon);
    std::string_view Bytes = std::string_view(Line).substr(
        Colon + 2, End == std::string::npos ? std::string::npos : End - Colon - 2);
    for (size_t I = 0; I + 2 <= Bytes.size(); I += 3) {
      if (Bytes[I] == ' ')
        break;
      const auto Byte = HexNumber(Bytes.substr(I, 2));
      if (!Byte)
        return sio::Fail(sio::ErrorKind::Failed, "dmpstore's dump of " + SetupNameText() +
                                                     ": bad byte in \"" + Line + "\"");
      Data.push_back(static_cast<uint8_t>(*Byte));
    }
  }
  if (Data.size() != *Size)
    return sio::Fail(sio::ErrorKind::Failed, "dmpstore shows " + std::to_string(Data.size()) +
                                                 " bytes of " + SetupNameText() + ", it declares " +
                                                 std::to_string(*Size));
  return Data;
}

} // namespace ovmf
