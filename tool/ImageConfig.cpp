// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/ImageConfig.h"

#include <algorithm>
#include <cstring>

#include "chip/Registers.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "pe/PeFile.h"
#include "tool/InputError.h"

using sio::Hex;

namespace siotool {
namespace {

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && (Text.front() == ' ' || Text.front() == '\t'))
    Text.remove_prefix(1);
  while (!Text.empty() && (Text.back() == ' ' || Text.back() == '\t'))
    Text.remove_suffix(1);
  return Text;
}

std::string QualifiedName(const chip::PcdInfo& Pcd) {
  return std::string(chip::kPcdTokenSpace) + "." + std::string(Pcd.Name);
}

// Ports the module writes itself: the progress code's two bytes and PCI
// configuration access.
bool ModulesOwnPort(uint32_t Port) {
  return (Port >= 0x80 && Port <= 0x81) || (Port >= 0xCF8 && Port <= 0xCFF);
}

uint32_t RecordOffsetOrThrow(std::span<const uint8_t> Image, const std::string& ImageName) {
  auto Record = chip::ReadBoardRecord(Image);
  if (!Record)
    throw InputError(ImageName, Record.Failure());
  return Record->FileOffset;
}

} // namespace

const chip::PcdInfo& FindPcd(std::string_view Name) {
  std::string_view Bare = Name;
  if (Bare.starts_with(chip::kPcdTokenSpace) && Bare.size() > chip::kPcdTokenSpace.size() &&
      Bare[chip::kPcdTokenSpace.size()] == '.')
    Bare.remove_prefix(chip::kPcdTokenSpace.size() + 1);
  for (const chip::PcdInfo& Pcd : chip::kPcds)
    if (Pcd.Name == Bare)
      return Pcd;
  throw InputError("--set: unknown PCD " + std::string(Name) + " (the module's are " +
                   std::string(chip::kPcds[0].Name) + " ... " +
                   std::string(chip::kPcds.back().Name) + ", see `sio image config`)");
}

std::vector<uint8_t> EncodePcdValue(const chip::PcdInfo& Pcd, std::string_view Value) {
  const std::string Field = "--set " + std::string(Pcd.Name);
  std::vector<uint8_t> Bytes(Pcd.Size, 0);
  Value = Trim(Value);
  if (Pcd.Type != chip::PcdType::Bytes) {
    const uint64_t Max = Pcd.Type == chip::PcdType::Uint16 ? 0xFFFF : 0xFFFFFFFF;
    uint64_t Number = Need(ParseUnsigned(Value, Field, Max));
    for (size_t I = 0; I < Bytes.size(); ++I)
      Bytes[I] = static_cast<uint8_t>(Number >> (8 * I));
    return Bytes;
  }
  if (Value.size() < 2 || Value.front() != '{' || Value.back() != '}')
    throw InputError(Field + ": a VOID* value is a byte array, {0x07, 0x00, ...}");
  std::string_view List = Trim(Value.substr(1, Value.size() - 2));
  size_t Count = 0;
  while (!List.empty()) {
    size_t Comma = List.find(',');
    std::string_view Item = Trim(List.substr(0, Comma));
    if (Count == Bytes.size())
      throw InputError(Field + ": more than the " + std::to_string(Pcd.Size) +
                       " bytes reserved for it");
    Bytes[Count++] = static_cast<uint8_t>(Need(ParseUnsigned(Item, Field, 0xFF)));
    if (Comma == std::string_view::npos)
      break;
    List = Trim(List.substr(Comma + 1));
    if (List.empty())
      throw InputError(Field + ": a byte is missing after the last comma");
  }
  if (Count == 0)
    throw InputError(Field + ": an empty byte array");
  return Bytes;
}

std::string FormatPcdValue(const chip::PcdInfo& Pcd, std::span<const uint8_t> Bytes) {
  if (Pcd.Type != chip::PcdType::Bytes) {
    uint64_t Number = 0;
    for (size_t I = 0; I < Pcd.Size; ++I)
      Number |= uint64_t(Bytes[I]) << (8 * I);
    return Hex(Number, static_cast<int>(2 * Pcd.Size));
  }
  std::string Text = "{";
  for (size_t I = 0; I < Pcd.Size; ++I)
    Text += (I ? ", " : "") + Hex(Bytes[I], 2);
  return Text + "}";
}

std::string ConfigProblem(const chip::BoardValues& Config) {
  if (!Config.ScriptHasEndPair())
    return std::string(chip::kPcds[5].Name) + " has no (0x00, 0x00) end pair in its " +
           std::to_string(chip::kPcds[5].Size) + " bytes";
  const std::pair<const char*, uint16_t> Ports[] = {
      {"PcdSioF81216aConfigPort", Config.ConfigPort},
      {"PcdSioF81216aCandidatePorts[0]", Config.CandidatePorts[0]},
      {"PcdSioF81216aCandidatePorts[1]", Config.CandidatePorts[1]},
      {"PcdSioF81216aCandidatePorts[2]", Config.CandidatePorts[2]},
      {"PcdSioF81216aCandidatePorts[3]", Config.CandidatePorts[3]}};
  for (const auto& [Name, Port] : Ports) {
    if (Port == 0)
      continue;
    if (ModulesOwnPort(Port) || ModulesOwnPort(chip::DataPort(Port)))
      return std::string(Name) + " " + Hex(Port, 4) +
             ": its index or data port falls on 0x80-0x81 or 0xCF8-0xCFF, which the module "
             "writes itself";
  }
  if (Config.ProbeOrder().empty())
    return "no port to probe: PcdSioF81216aConfigPort and every candidate port are 0";
  return {};
}

PcdAssignment ParseAssignment(std::string_view Text) {
  size_t Equals = Text.find('=');
  if (Equals == std::string_view::npos)
    throw InputError("--set: " + std::string(Text) + ": expected NAME=VALUE");
  const chip::PcdInfo& Pcd = FindPcd(Trim(Text.substr(0, Equals)));
  return {&Pcd, EncodePcdValue(Pcd, Text.substr(Equals + 1))};
}

std::vector<uint8_t> PatchImage(std::span<const uint8_t> Image,
                                const std::vector<PcdAssignment>& Assignments,
                                const std::string& ImageName) {
  const uint32_t Record = RecordOffsetOrThrow(Image, ImageName);
  std::vector<uint8_t> Out(Image.begin(), Image.end());
  for (const PcdAssignment& A : Assignments)
    std::copy(A.Bytes.begin(), A.Bytes.end(), Out.begin() + Record + A.Pcd->RecordOffset);
  // The copy is read back through the same check every command makes, so
  // that nothing is written that `sio run --image` would refuse.
  auto Patched = chip::ReadBoardRecord(Out);
  if (!Patched)
    throw InputError("--set: " + ImageName, Patched.Failure());
  std::string Problem = ConfigProblem(Patched->Config);
  if (!Problem.empty())
    throw InputError("--set: " + Problem);
  return Out;
}

std::string PatchPcdSection(std::span<const uint8_t> Image, const std::string& ImageName) {
  const uint32_t Record = RecordOffsetOrThrow(Image, ImageName);
  // The section names the processor mode of the image the offsets are in.
  const auto File = pe::ReadPeFile(Image);
  const pe::MachineInfo* Mode = File ? File->Mode() : nullptr;
  if (Mode == nullptr)
    throw InputError(ImageName + ": neither an IA-32 PE32 nor an X64 PE32+ image");
  std::string Text = std::string("[PatchPcd.") + Mode->Edk2Arch + "]\n";
  for (const chip::PcdInfo& Pcd : chip::kPcds) {
    const uint32_t Offset = Record + Pcd.RecordOffset;
    Text += "  " + QualifiedName(Pcd) + "|" + FormatPcdValue(Pcd, Image.subspan(Offset, Pcd.Size)) +
            "|" + Hex(Offset, 8) + "\n";
  }
  return Text;
}

} // namespace siotool
