#include "tool/ScenarioFile.h"

#include "board/Status.h"
#include "tool/FileInput.h"
#include "tool/InputError.h"
#include "tool/SetupVariable.h"

namespace siotool {
namespace {

void ParseChip(const Json& Chip, board::Scenario& S) {
  if (Chip.is_null()) {
    S.ChipPort = std::nullopt;
    return;
  }
  RequireObject(Chip, "chip", {"kind", "port", "id_high", "id_low"});
  if (Chip.contains("kind")) {
    const Json& Kind = Chip["kind"];
    if (Kind == kChipKindSuperIo)
      S.Kind = board::ChipKind::SuperIo;
    else if (Kind == kChipKindMixerStandIn)
      S.Kind = board::ChipKind::MixerStandIn;
    else
      throw InputError(std::string("chip.kind: expected \"") + kChipKindSuperIo + "\" or \"" +
                       kChipKindMixerStandIn + "\"");
  }
  if (Chip.contains("port")) {
    uint64_t Port = ReadUnsigned(Chip["port"], "chip.port", 0xFFFF);
    if (auto Problem = ChipPortProblem(Port); !Problem.empty()) {
      throw InputError("chip.port: " + Problem);
    }
    S.ChipPort = static_cast<uint16_t>(Port);
  } else if (!S.ChipPort) {
    S.ChipPort = board::Scenario{}.ChipPort;
  }
  if (Chip.contains("id_high"))
    S.ChipIdHigh = ReadByte(Chip["id_high"], "chip.id_high");
  if (Chip.contains("id_low"))
    S.ChipIdLow = ReadByte(Chip["id_low"], "chip.id_low");
}

void ParseRegisters(const Json& List, board::Scenario& S) {
  if (!List.is_array())
    throw InputError("registers: expected an array of register presets");
  S.Registers.clear();
  for (size_t I = 0; I < List.size(); ++I) {
    std::string Field = ItemPath("registers", I);
    const Json& Item = List[I];
    RequireObject(Item, Field, {"device", "register", "value"});
    for (const char* Key : {"register", "value"}) {
      if (!Item.contains(Key))
        throw InputError(FieldPath(Field, Key) + ": missing");
    }
    board::RegisterPreset Preset;
    Preset.Reg = ReadByte(Item["register"], FieldPath(Field, "register"));
    Preset.Value = ReadByte(Item["value"], FieldPath(Field, "value"));
    if (Preset.Reg == 0x20 || Preset.Reg == 0x21) {
      throw InputError(FieldPath(Field, "register") +
                       ": the chip ID registers are set by chip.id_high and chip.id_low");
    }
    if (Item.contains("device")) {
      if (Preset.Reg < 0x30) {
        throw InputError(FieldPath(Field, "device") + ": register " + Hex(Preset.Reg) +
                         " is chip-global (below 0x30) and belongs to no logical device");
      }
      Preset.Device = ReadByte(Item["device"], FieldPath(Field, "device"));
    } else if (Preset.Reg >= 0x30) {
      throw InputError(FieldPath(Field, "device") + ": missing (register " + Hex(Preset.Reg) +
                       " belongs to a logical device)");
    }
    S.Registers.push_back(Preset);
  }
}

void ParseFaults(const Json& Faults, board::PeiFaults& F) {
  RequireObject(Faults, "faults",
                {"no_variable_ppi", "locate_returns_null_ppi", "install_ppi_status",
                 "locate_ppi_status", "get_variable_status", "get_variable_reported_size"});
  auto Flag = [&](const char* Key, bool& Out) {
    if (Faults.contains(Key))
      Out = ReadBool(Faults[Key], FieldPath("faults", Key));
  };
  auto Status = [&](const char* Key, std::optional<uint32_t>& Out) {
    if (!Faults.contains(Key))
      return;
    if (Faults[Key].is_null()) {
      Out = std::nullopt;
    } else {
      Out = ReadStatus(Faults[Key], FieldPath("faults", Key));
    }
  };
  Flag("no_variable_ppi", F.NoVariablePpi);
  Flag("locate_returns_null_ppi", F.LocateReturnsNullPpi);
  Status("install_ppi_status", F.InstallPpiStatus);
  Status("locate_ppi_status", F.LocatePpiStatus);
  Status("get_variable_status", F.GetVariableStatus);
  if (Faults.contains("get_variable_reported_size")) {
    const Json& Size = Faults["get_variable_reported_size"];
    if (Size.is_null()) {
      F.GetVariableReportedSize = std::nullopt;
    } else {
      F.GetVariableReportedSize = static_cast<uint32_t>(
          ReadUnsigned(Size, "faults.get_variable_reported_size", 0xFFFFFFFF));
    }
  }
}

Json StatusOrNull(const std::optional<uint32_t>& Status) {
  return Status ? Json(board::StatusName(*Status)) : Json(nullptr);
}

} // namespace

std::string ChipPortProblem(uint64_t Port) {
  if (Port > 0xFFFE)
    return Hex(Port, 4) + " is out of range (the data port must fit: at most 0xFFFE)";
  if (Port + 1 >= 0x80 && Port <= 0x80) {
    return Hex(Port, 4) + " overlaps the POST code port 0x0080";
  }
  if (Port + 1 >= 0xCF8 && Port <= 0xCFF) {
    return Hex(Port, 4) + " overlaps the PCI configuration ports 0x0CF8-0x0CFF";
  }
  return {};
}

board::Scenario ParseScenario(const Json& Document) {
  RequireObject(Document, "", {"description", "chip", "registers", "variable", "faults"});
  board::Scenario S = board::DefaultScenario();
  if (Document.contains("description") && !Document["description"].is_string()) {
    throw InputError("description: expected a string");
  }
  if (Document.contains("chip"))
    ParseChip(Document["chip"], S);
  if (Document.contains("registers"))
    ParseRegisters(Document["registers"], S);
  if (Document.contains("variable")) {
    const Json& Variable = Document["variable"];
    if (Variable.is_null()) {
      S.SetupVariable = std::nullopt;
    } else {
      S.SetupVariable = ParseSetupVariable(Variable, "variable", kMaxScenarioVariableSize);
    }
  }
  if (Document.contains("faults"))
    ParseFaults(Document["faults"], S.Faults);
  return S;
}

Json ReadJsonFile(const std::string& Path) {
  auto Bytes = ReadInputFile(Path, kMaxJsonFileSize);
  try {
    return Json::parse(Bytes.begin(), Bytes.end());
  } catch (const Json::parse_error& Error) {
    // Drop the library's "[json.exception.parse_error.101] " tag.
    std::string Message = Error.what();
    if (auto Tag = Message.find("] "); Tag != std::string::npos)
      Message.erase(0, Tag + 2);
    throw InputError(Path + ": malformed JSON: " + Message);
  }
}

board::Scenario LoadScenarioFile(const std::string& Path) {
  Json Document = ReadJsonFile(Path);
  try {
    return ParseScenario(Document);
  } catch (const InputError& Error) {
    throw InputError(Path + ": " + Error.what());
  }
}

Json ScenarioToJson(const board::Scenario& S) {
  Json Doc;
  if (S.ChipPort) {
    Doc["chip"] = {{"kind", S.Kind == board::ChipKind::MixerStandIn ? kChipKindMixerStandIn
                                                                    : kChipKindSuperIo},
                   {"port", Hex(*S.ChipPort, 4)},
                   {"id_high", Hex(S.ChipIdHigh)},
                   {"id_low", Hex(S.ChipIdLow)}};
  } else {
    Doc["chip"] = nullptr;
  }
  Doc["registers"] = Json::array();
  for (const auto& R : S.Registers) {
    Json Item = Json::object();
    if (R.Reg >= 0x30)
      Item["device"] = R.Device;
    Item["register"] = Hex(R.Reg);
    Item["value"] = Hex(R.Value);
    Doc["registers"].push_back(Item);
  }
  if (S.SetupVariable) {
    std::string Bytes;
    for (uint8_t B : *S.SetupVariable)
      Bytes += (Bytes.empty() ? "" : ":") + Hex(B).substr(2);
    Doc["variable"] = {{"bytes", Bytes}};
  } else {
    Doc["variable"] = nullptr;
  }
  const auto& F = S.Faults;
  Doc["faults"] = {{"no_variable_ppi", F.NoVariablePpi},
                   {"locate_returns_null_ppi", F.LocateReturnsNullPpi},
                   {"install_ppi_status", StatusOrNull(F.InstallPpiStatus)},
                   {"locate_ppi_status", StatusOrNull(F.LocatePpiStatus)},
                   {"get_variable_status", StatusOrNull(F.GetVariableStatus)},
                   {"get_variable_reported_size",
                    F.GetVariableReportedSize ? Json(*F.GetVariableReportedSize) : Json(nullptr)}};
  return Doc;
}

} // namespace siotool
