// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/ScenarioFile.h"

#include <set>

#include "board/LpcBridge.h"
#include "board/PostCodePort.h"
#include "chip/Registers.h"
#include "chip/SetupVariable.h"
#include "common/FileInput.h"
#include "common/Hex.h"
#include "pi/Status.h"

using sio::Hex;

namespace siotool {

sio::Result<uint32_t> ReadStatus(const Json& Value, const std::string& Field) {
  if (Value.is_string()) {
    auto Text = Value.get<std::string>();
    if (auto Status = pi::ParseStatus(Text))
      return *Status;
    return sio::Fail(Field + ": " + Quoted(Text) +
                     " is not a status (write a name such as EFI_NOT_FOUND or a number such as "
                     "0x8000000E)");
  }
  return ReadNumber<uint32_t>(Value, Field, 0xFFFFFFFF);
}

namespace {

// Reads Value into Out when it is given; false with Failure set when it is bad.
template <typename T> bool Take(sio::Result<T> Value, T& Out, std::optional<sio::Error>& Failure) {
  if (!Value) {
    Failure = Value.Failure();
    return false;
  }
  Out = std::move(*Value);
  return true;
}

sio::Result<void> ParseChip(const Json& Chip, board::Scenario& S) {
  if (Chip.is_null()) {
    S.ChipPort = std::nullopt;
    return {};
  }
  if (auto Shape =
          RequireObject(Chip, "chip", {"kind", "port", "id_high", "id_low", "read_answers"});
      !Shape)
    return Shape;
  if (Chip.contains("kind")) {
    const Json& Kind = Chip["kind"];
    if (Kind == kChipKindSuperIo)
      S.Kind = board::ChipKind::SuperIo;
    else if (Kind == kChipKindMixerStandIn)
      S.Kind = board::ChipKind::MixerStandIn;
    else
      return sio::Fail(std::string("chip.kind: expected \"") + kChipKindSuperIo + "\" or \"" +
                       kChipKindMixerStandIn + "\"");
  }
  if (Chip.contains("port") && Chip["port"].is_null()) {
    S.ChipPort = std::nullopt; // no chip, its other settings kept
  } else if (Chip.contains("port")) {
    auto Port = ReadUnsigned(Chip["port"], "chip.port", 0xFFFF);
    if (!Port)
      return Port.Failure();
    if (auto Problem = ChipPortProblem(*Port); !Problem.empty())
      return sio::Fail("chip.port: " + Problem);
    S.ChipPort = static_cast<uint16_t>(*Port);
  } else if (!S.ChipPort) {
    S.ChipPort = board::Scenario{}.ChipPort;
  }
  std::optional<sio::Error> Failure;
  if (Chip.contains("id_high") &&
      !Take(ReadByte(Chip["id_high"], "chip.id_high"), S.ChipIdHigh, Failure))
    return *Failure;
  if (Chip.contains("id_low") &&
      !Take(ReadByte(Chip["id_low"], "chip.id_low"), S.ChipIdLow, Failure))
    return *Failure;
  if (Chip.contains("read_answers") &&
      !Take(ReadBytes(Chip["read_answers"], "chip.read_answers", kMaxScenarioChipReadAnswers),
            S.ChipReadAnswers, Failure))
    return *Failure;
  return {};
}

sio::Result<board::RegisterPreset> ParsePreset(const Json& Item, const std::string& Field) {
  if (auto Shape = RequireObject(Item, Field, {"device", "register", "value"}); !Shape)
    return Shape.Failure();
  for (const char* Key : {"register", "value"}) {
    if (!Item.contains(Key))
      return sio::Fail(FieldPath(Field, Key) + ": missing");
  }
  board::RegisterPreset Preset;
  std::optional<sio::Error> Failure;
  if (!Take(ReadByte(Item["register"], FieldPath(Field, "register")), Preset.Reg, Failure) ||
      !Take(ReadByte(Item["value"], FieldPath(Field, "value")), Preset.Value, Failure))
    return *Failure;
  if (Preset.Reg == 0x20 || Preset.Reg == 0x21) {
    return sio::Fail(FieldPath(Field, "register") +
                     ": the chip ID registers are set by chip.id_high and chip.id_low");
  }
  if (Item.contains("device")) {
    if (Preset.Reg < 0x30) {
      return sio::Fail(FieldPath(Field, "device") + ": register " + Hex(Preset.Reg, 2) +
                       " is chip-global (below 0x30) and belongs to no logical device");
    }
    uint8_t Device = 0;
    if (!Take(ReadByte(Item["device"], FieldPath(Field, "device")), Device, Failure))
      return *Failure;
    Preset.Device = Device;
  } else if (Preset.Reg >= 0x30) {
    return sio::Fail(FieldPath(Field, "device") + ": missing (register " + Hex(Preset.Reg, 2) +
                     " belongs to a logical device)");
  }
  return Preset;
}

sio::Result<void> ParseRegisters(const Json& List, board::Scenario& S) {
  if (!List.is_array())
    return sio::Fail("registers: expected an array of register presets");
  S.Registers.clear();
  for (size_t I = 0; I < List.size(); ++I) {
    auto Preset = ParsePreset(List[I], ItemPath("registers", I));
    if (!Preset)
      return Preset.Failure();
    S.Registers.push_back(*Preset);
  }
  return {};
}

sio::Result<void> ParseFaults(const Json& Faults, board::PeiFaults& F) {
  if (auto Shape = RequireObject(Faults, "faults",
                                 {"no_variable_ppi", "locate_returns_null_ppi",
                                  "install_ppi_status", "locate_ppi_status", "get_variable_status",
                                  "get_variable_reported_size", "stale_buffer"});
      !Shape)
    return Shape;
  std::optional<sio::Error> Failure;
  auto Flag = [&](const char* Key, bool& Out) {
    return !Faults.contains(Key) ||
           Take(ReadBool(Faults[Key], FieldPath("faults", Key)), Out, Failure);
  };
  // A status, or null for none; as the size below.
  auto Status = [&](const char* Key, auto Read, std::optional<uint32_t>& Out) {
    if (!Faults.contains(Key))
      return true;
    if (Faults[Key].is_null()) {
      Out = std::nullopt;
      return true;
    }
    uint32_t Value = 0;
    if (!Take(Read(Faults[Key], FieldPath("faults", Key)), Value, Failure))
      return false;
    Out = Value;
    return true;
  };
  const auto AsStatus = [](const Json& Value, const std::string& Field) {
    return ReadStatus(Value, Field);
  };
  const auto AsSize = [](const Json& Value, const std::string& Field) {
    return ReadNumber<uint32_t>(Value, Field, 0xFFFFFFFF);
  };
  if (!Flag("no_variable_ppi", F.NoVariablePpi) ||
      !Flag("locate_returns_null_ppi", F.LocateReturnsNullPpi) ||
      !Status("install_ppi_status", AsStatus, F.InstallPpiStatus) ||
      !Status("locate_ppi_status", AsStatus, F.LocatePpiStatus) ||
      !Status("get_variable_status", AsStatus, F.GetVariableStatus) ||
      !Status("get_variable_reported_size", AsSize, F.GetVariableReportedSize))
    return *Failure;
  if (Faults.contains("stale_buffer") &&
      !Take(ReadBytes(Faults["stale_buffer"], "faults.stale_buffer", kMaxScenarioVariableSize),
            F.StaleBuffer, Failure))
    return *Failure;
  return {};
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

sio::Result<board::Scenario> ParseScenario(const Json& Document) {
  if (auto Shape =
          RequireObject(Document, "", {"description", "chip", "registers", "variable", "faults"});
      !Shape)
    return Shape.Failure();
  board::Scenario S = board::DefaultScenario();
  if (Document.contains("description") && !Document["description"].is_string())
    return sio::Fail("description: expected a string");
  if (Document.contains("chip")) {
    if (auto Chip = ParseChip(Document["chip"], S); !Chip)
      return Chip.Failure();
  }
  if (Document.contains("registers")) {
    if (auto Registers = ParseRegisters(Document["registers"], S); !Registers)
      return Registers.Failure();
  }
  if (Document.contains("variable")) {
    const Json& Variable = Document["variable"];
    if (Variable.is_null()) {
      S.SetupVariable = std::nullopt;
    } else {
      auto Bytes = ParseSetupVariable(Variable, "variable", kMaxScenarioVariableSize);
      if (!Bytes)
        return Bytes.Failure();
      S.SetupVariable = std::move(*Bytes);
    }
  }
  if (Document.contains("faults")) {
    if (auto Faults = ParseFaults(Document["faults"], S.Faults); !Faults)
      return Faults.Failure();
  }
  if (auto Conflict = FaultConflict(S); !Conflict.empty())
    return sio::Fail("faults: " + Conflict);
  return S;
}

// Builds the document as the parser reads it, and stops the parser at
// nesting deeper than kMaxJsonDepth as soon as it opens (so a hostile file
// costs no more than its first levels) and at a key that appears twice in one
// object (the parser alone would keep the last one silently). A handler that
// returns false ends the parse; nothing is thrown through the parser.
class StrictJsonReader {
public:
  explicit StrictJsonReader(Json& Root) : Dom_(Root, false) {}

  bool null() { return Value() && Dom_.null(); }
  bool boolean(bool Flag) { return Value() && Dom_.boolean(Flag); }
  bool number_integer(Json::number_integer_t Number) {
    return Value() && Dom_.number_integer(Number);
  }
  bool number_unsigned(Json::number_unsigned_t Number) {
    return Value() && Dom_.number_unsigned(Number);
  }
  bool number_float(Json::number_float_t Number, const Json::string_t& Text) {
    return Value() && Dom_.number_float(Number, Text);
  }
  bool string(Json::string_t& Text) { return Value() && Dom_.string(Text); }
  bool binary(Json::binary_t& Bytes) { return Value() && Dom_.binary(Bytes); }
  bool start_object(std::size_t Count) { return Open(true) && Dom_.start_object(Count); }
  bool start_array(std::size_t Count) { return Open(false) && Dom_.start_array(Count); }
  bool end_object() { return Close() && Dom_.end_object(); }
  bool end_array() { return Close() && Dom_.end_array(); }
  bool key(Json::string_t& Key) {
    Level& Object = Open_.back();
    Object.Key = Key;
    if (!Object.Keys.insert(Object.Key).second) {
      Failure = sio::Fail(FieldPath(Object.Path, Object.Key) +
                          ": given twice (each key may appear once)");
      return false;
    }
    return Dom_.key(Key);
  }
  template <class Exception>
  bool parse_error(std::size_t Position, const std::string& Token, const Exception& Error) {
    // Text that does not parse, or a number too large for any JSON number
    // type. Drop the library's "[json.exception.parse_error.101] " tag.
    std::string Message = Error.what();
    if (auto Tag = Message.find("] "); Tag != std::string::npos)
      Message.erase(0, Tag + 2);
    Failure = sio::Fail("malformed JSON: " + Escaped(Message));
    return Dom_.parse_error(Position, Token, Error);
  }

  std::optional<sio::Error> Failure;

private:
  struct Level {
    bool Object = false;
    std::string Path;
    std::set<std::string> Keys;
    std::string Key;  // objects: the key whose value is being read
    size_t Index = 0; // arrays: the item being read
  };
  bool Open(bool Object) {
    // The levels around this one.
    if (Open_.size() >= static_cast<size_t>(kMaxJsonDepth)) {
      Failure = sio::Fail("nested deeper than " + std::to_string(kMaxJsonDepth) +
                          " levels of arrays and objects");
      return false;
    }
    Open_.push_back({Object, ChildPath(), {}, {}, 0});
    return true;
  }
  bool Close() {
    Open_.pop_back();
    return Value();
  }
  // One value read: the next item of an array.
  bool Value() {
    if (!Open_.empty() && !Open_.back().Object)
      ++Open_.back().Index;
    return true;
  }
  std::string ChildPath() const {
    if (Open_.empty())
      return {};
    const Level& Parent = Open_.back();
    return Parent.Object ? FieldPath(Parent.Path, Parent.Key) : ItemPath(Parent.Path, Parent.Index);
  }
  nlohmann::detail::json_sax_dom_parser<Json> Dom_;
  std::vector<Level> Open_;
};

sio::Result<Json> ParseJson(std::span<const uint8_t> Text) {
  Json Document;
  StrictJsonReader Reader(Document);
  try {
    if (Json::sax_parse(Text.begin(), Text.end(), &Reader) && !Reader.Failure)
      return Document;
  } catch (const Json::exception& Error) {
    // The library's own limits (an object larger than it can hold).
    return sio::Fail("malformed JSON: " + Escaped(Error.what()));
  }
  return Reader.Failure ? *Reader.Failure : sio::Fail("malformed JSON");
}

sio::Result<Json> ReadJsonFile(const std::string& Path) {
  auto Bytes = sio::ReadInputFile(Path, kMaxJsonFileSize);
  if (!Bytes)
    return Bytes.Failure();
  auto Document = ParseJson(*Bytes);
  if (!Document)
    return Document.Within(Path);
  return Document;
}

sio::Result<board::Scenario> LoadScenarioFile(const std::string& Path) {
  auto Document = ReadJsonFile(Path);
  if (!Document)
    return Document.Failure();
  auto Scenario = ParseScenario(*Document);
  if (!Scenario)
    return Scenario.Within(Path);
  return Scenario;
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
