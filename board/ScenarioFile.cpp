// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/ScenarioFile.h"

#include <set>

#include "board/LpcBridge.h"
#include "board/PostCodePort.h"
#include "chip/Registers.h"
#include "chip/SetupVariable.h"
#include "common/FileInput.h"
#include "common/Hex.h"
#include "common/InputError.h"
#include "pi/Status.h"

using sio::Hex;

namespace siotool {

uint32_t ReadStatus(const Json& Value, const std::string& Field) {
  if (Value.is_string()) {
    auto Text = Value.get<std::string>();
    if (auto Status = pi::ParseStatus(Text))
      return *Status;
    throw InputError(Field + ": " + Quoted(Text) +
                     " is not a status (write a name such as EFI_NOT_FOUND or a number such as "
                     "0x8000000E)");
  }
  return static_cast<uint32_t>(ReadUnsigned(Value, Field, 0xFFFFFFFF));
}

namespace {

void ParseChip(const Json& Chip, board::Scenario& S) {
  if (Chip.is_null()) {
    S.ChipPort = std::nullopt;
    return;
  }
  RequireObject(Chip, "chip", {"kind", "port", "id_high", "id_low", "read_answers"});
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
  if (Chip.contains("port") && Chip["port"].is_null()) {
    S.ChipPort = std::nullopt; // no chip, its other settings kept
  } else if (Chip.contains("port")) {
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
  if (Chip.contains("read_answers")) {
    S.ChipReadAnswers =
        ReadBytes(Chip["read_answers"], "chip.read_answers", kMaxScenarioChipReadAnswers);
  }
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
        throw InputError(FieldPath(Field, "device") + ": register " + Hex(Preset.Reg, 2) +
                         " is chip-global (below 0x30) and belongs to no logical device");
      }
      Preset.Device = ReadByte(Item["device"], FieldPath(Field, "device"));
    } else if (Preset.Reg >= 0x30) {
      throw InputError(FieldPath(Field, "device") + ": missing (register " + Hex(Preset.Reg, 2) +
                       " belongs to a logical device)");
    }
    S.Registers.push_back(Preset);
  }
}

void ParseFaults(const Json& Faults, board::PeiFaults& F) {
  RequireObject(Faults, "faults",
                {"no_variable_ppi", "locate_returns_null_ppi", "install_ppi_status",
                 "locate_ppi_status", "get_variable_status", "get_variable_reported_size",
                 "stale_buffer"});
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
  if (Faults.contains("stale_buffer")) {
    F.StaleBuffer =
        ReadBytes(Faults["stale_buffer"], "faults.stale_buffer", kMaxScenarioVariableSize);
  }
}

Json StatusOrNull(const std::optional<uint32_t>& Status) {
  return Status ? Json(pi::StatusName(*Status)) : Json(nullptr);
}

// Bytes as ReadBytes reads them back: "5A:00:FF".
std::string HexBytes(std::span<const uint8_t> Bytes) {
  std::string Text;
  for (uint8_t B : Bytes)
    Text += (Text.empty() ? "" : ":") + Hex(B, 2).substr(2);
  return Text;
}

} // namespace

namespace {

// The ports the module itself accesses at fixed addresses, as wide as its
// accesses: a chip whose index or data port falls inside one would see them.
struct FixedAccess {
  uint16_t First;
  uint16_t Width;
  const char* What;
};
constexpr FixedAccess kModuleFixedAccesses[] = {
    {board::PostCodePort::kPort, 2, "the POST code port"},
    {board::LpcBridge::kConfigAddressPort, 4, "the PCI configuration address port"},
    {board::LpcBridge::kConfigDataPort, 4, "the PCI configuration data port"},
};

} // namespace

std::string ChipPortProblem(uint64_t Port) {
  if (Port > 0xFFFE)
    return Hex(Port, 4) + " is out of range (the data port must fit: at most 0xFFFE)";
  for (const auto& Access : kModuleFixedAccesses) {
    uint64_t Last = Access.First + Access.Width - 1u;
    const uint16_t Data = chip::DataPort(static_cast<uint16_t>(Port));
    if (Data >= Access.First && Port <= Last) {
      return Hex(Port, 4) + " overlaps " + Access.What + " " + Hex(Access.First, 4) + "-" +
             Hex(Last, 4) + " (the module accesses it " + std::to_string(Access.Width * 8) +
             " bits wide; the chip's index and data ports would be " + Hex(Port, 4) + "-" +
             Hex(Data, 4) + ")";
    }
  }
  return {};
}

std::string FaultConflict(const board::Scenario& S) {
  const board::PeiFaults& F = S.Faults;
  // LocatePpi answers with locate_ppi_status first, else with a null PPI,
  // else from the PPI database.
  if (F.LocatePpiStatus && F.LocateReturnsNullPpi) {
    return "locate_returns_null_ppi cannot take effect: locate_ppi_status answers every lookup";
  }
  if (F.NoVariablePpi && (F.LocatePpiStatus || F.LocateReturnsNullPpi)) {
    return std::string("no_variable_ppi cannot take effect: ") +
           (F.LocatePpiStatus ? "locate_ppi_status" : "locate_returns_null_ppi") +
           " answers every lookup";
  }
  bool VariablePpiFound = !F.NoVariablePpi && !F.LocatePpiStatus && !F.LocateReturnsNullPpi;
  for (auto [Given, Name] :
       {std::pair{F.GetVariableStatus.has_value(), "get_variable_status"},
        std::pair{F.GetVariableReportedSize.has_value(), "get_variable_reported_size"}}) {
    if (Given && !VariablePpiFound) {
      return std::string(Name) +
             " cannot take effect: the variable PPI is never found, so GetVariable is never "
             "called";
    }
  }
  // The reported size is the size of a variable GetVariable found and copied.
  if (F.GetVariableReportedSize) {
    if (F.GetVariableStatus) {
      return "get_variable_reported_size cannot take effect: get_variable_status answers every "
             "GetVariable call";
    }
    if (!S.SetupVariable) {
      return "get_variable_reported_size cannot take effect: there is no variable to find";
    }
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
  if (auto Conflict = FaultConflict(S); !Conflict.empty())
    throw InputError("faults: " + Conflict);
  return S;
}

// Follows the parser through the document and refuses nesting deeper than
// kMaxJsonDepth as soon as it opens (so a hostile file costs no more than its
// first levels) and a key that appears twice in one object (the parser alone
// would keep the last one silently).
class DuplicateKeyCheck {
public:
  bool operator()(int Depth, nlohmann::detail::parse_event_t Event, Json& Parsed) {
    using Kind = nlohmann::detail::parse_event_t;
    switch (Event) {
    case Kind::object_start:
    case Kind::array_start:
      // Depth counts the levels around this one.
      if (Depth >= kMaxJsonDepth) {
        throw InputError("nested deeper than " + std::to_string(kMaxJsonDepth) +
                         " levels of arrays and objects");
      }
      Open_.push_back({Event == Kind::object_start, ChildPath(), {}, {}, 0});
      break;
    case Kind::key: {
      Level& Object = Open_.back();
      Object.Key = Parsed.get<std::string>();
      if (!Object.Keys.insert(Object.Key).second) {
        throw InputError(FieldPath(Object.Path, Object.Key) +
                         ": given twice (each key may appear once)");
      }
      break;
    }
    case Kind::object_end:
    case Kind::array_end:
      Open_.pop_back();
      ValueDone();
      break;
    case Kind::value:
      ValueDone();
      break;
    }
    return true;
  }

private:
  struct Level {
    bool Object = false;
    std::string Path;
    std::set<std::string> Keys;
    std::string Key;  // objects: the key whose value is being read
    size_t Index = 0; // arrays: the item being read
  };
  std::string ChildPath() const {
    if (Open_.empty())
      return {};
    const Level& Parent = Open_.back();
    return Parent.Object ? FieldPath(Parent.Path, Parent.Key) : ItemPath(Parent.Path, Parent.Index);
  }
  void ValueDone() {
    if (!Open_.empty() && !Open_.back().Object)
      ++Open_.back().Index;
  }
  std::vector<Level> Open_;
};

Json ParseJson(std::span<const uint8_t> Text) {
  try {
    return Json::parse(Text.begin(), Text.end(), DuplicateKeyCheck());
  } catch (const Json::exception& Error) {
    // Text that does not parse, or a number too large for any JSON number
    // type. Drop the library's "[json.exception.parse_error.101] " tag.
    std::string Message = Error.what();
    if (auto Tag = Message.find("] "); Tag != std::string::npos)
      Message.erase(0, Tag + 2);
    throw InputError("malformed JSON: " + Escaped(Message));
  }
}

Json ReadJsonFile(const std::string& Path) {
  auto Bytes = sio::ReadInputFile(Path, kMaxJsonFileSize);
  try {
    return ParseJson(Bytes);
  } catch (const InputError& Error) {
    throw InputError(Path + ": " + Error.what());
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
  const board::Scenario Plain;
  Json Chip = {
      {"kind", S.Kind == board::ChipKind::MixerStandIn ? kChipKindMixerStandIn : kChipKindSuperIo},
      {"port", S.ChipPort ? Json(Hex(*S.ChipPort, 4)) : Json(nullptr)},
      {"id_high", Hex(S.ChipIdHigh, 2)},
      {"id_low", Hex(S.ChipIdLow, 2)}};
  if (!S.ChipReadAnswers.empty())
    Chip["read_answers"] = HexBytes(S.ChipReadAnswers);
  // No chip, and nothing about it that differs from a plain board: null.
  const bool Plainly = S.Kind == Plain.Kind && S.ChipIdHigh == Plain.ChipIdHigh &&
                       S.ChipIdLow == Plain.ChipIdLow && S.ChipReadAnswers.empty();
  Doc["chip"] = !S.ChipPort && Plainly ? Json(nullptr) : Chip;
  Doc["registers"] = Json::array();
  for (const auto& R : S.Registers) {
    Json Item = Json::object();
    if (R.Reg >= 0x30)
      Item["device"] = R.Device;
    Item["register"] = Hex(R.Reg, 2);
    Item["value"] = Hex(R.Value, 2);
    Doc["registers"].push_back(Item);
  }
  if (S.SetupVariable) {
    Doc["variable"] = {{"bytes", HexBytes(*S.SetupVariable)}};
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
  if (!F.StaleBuffer.empty())
    Doc["faults"]["stale_buffer"] = HexBytes(F.StaleBuffer);
  return Doc;
}

} // namespace siotool
