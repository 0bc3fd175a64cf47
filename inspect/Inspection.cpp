// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Inspection.h"

#include <filesystem>
#include <iostream>
#include <memory>

#include "board/ScenarioCatalog.h"
#include "board/ScenarioFile.h"
#include "chip/TraceDecoder.h"
#include "common/InputError.h"
#include "common/JsonDocument.h"
#include "engine/HostBoardConfig.h"
#include "engine/HostEngine.h"
#include "inspect/BoardPorts.h"
#include "inspect/DevPort.h"
#include "inspect/InspectReport.h"
#include "inspect/PortChoice.h"
#include "inspect/SignalHold.h"

namespace inspect {
namespace {

struct Options {
  std::string Port;
  bool UnsafePort = false;
  bool All = false;
  bool Plan = false;
  std::string Board;
  std::string Expect;
  bool ExpectLive = false;
  std::string EfiVariable = DefaultEfiVariablePath();
  std::string DevPortPath = kDevPortPath;
  bool Json = false;
  bool Trace = false;
  std::string ImagePath;
  std::optional<std::string> Image; // ImagePath when --image was given
};

// A named scenario of the board's catalog, or a scenario file.
board::Scenario ResolveScenario(const std::string& Text, const std::string& Flag) {
  if (const auto* Named = board::FindScenario(Text))
    return Named->Config;
  std::error_code Error;
  if (!std::filesystem::exists(Text, Error)) {
    std::string Known;
    for (const auto& Named : board::ScenarioCatalog())
      Known += (Known.empty() ? "" : ", ") + Named.Name;
    throw siotool::InputError(Flag + ": " + Text +
                              ": neither a scenario file nor a named scenario (known: " + Known +
                              ")");
  }
  return siotool::LoadScenarioFile(Text);
}

// Board: the module's board values, the image's when one is given: its
// ports are the module's.
InspectOptions ReadOptions(const Options& Given, const chip::BoardConfig& Board) {
  InspectOptions Out;
  Out.All = Given.All;
  Out.Board = Board;
  if (!Given.Port.empty()) {
    uint64_t Port = siotool::ParseUnsigned(Given.Port, "--port", 0xFFFF);
    std::string Problem = IndexPortProblem(Port, Given.UnsafePort, Board);
    if (!Problem.empty())
      throw siotool::InputError("--port: " + Problem);
    Out.Port = static_cast<uint16_t>(Port);
  } else if (Given.Image) {
    // The image's discovery is followed as given, so every port it probes
    // must be one a reading may reach.
    std::string Problem = ModulePortsProblem(Board);
    if (!Problem.empty())
      throw siotool::InputError("--image: " + *Given.Image + ": " + Problem + "; give --port P");
  }
  return Out;
}

template <typename T> T Need(sio::Result<T> Got) {
  if (!Got)
    throw siotool::InputError(Got.Message());
  return std::move(*Got);
}

siotool::Json AccessesToJson(const pi::Trace& Accesses) {
  siotool::Json Out = siotool::Json::array();
  for (const auto& Event : chip::DecodeTrace(Accesses))
    Out.push_back({{"access", Event.Access}, {"meaning", Event.Meaning}});
  return Out;
}

// --trace: the accesses made, decoded; as {"accesses": [...]} with --json.
void PrintAccesses(const pi::Trace& Accesses, bool Json) {
  if (Json) {
    std::cout << sio::JsonDocument(siotool::Json{{"accesses", AccessesToJson(Accesses)}});
    return;
  }
  std::cout << "Port accesses (" << Accesses.size() << "):\n";
  for (const auto& Event : chip::DecodeTrace(Accesses))
    std::cout << "  " << Event.Access << "  " << Event.Meaning << "\n";
}

void Inspect(const Options& Given, const ImageBoardReader& ReadImage,
             const std::string& ProgramName, int& ExitCode) {
  // The module's board values: the image's, or the built-in ones.
  chip::BoardConfig Values = chip::DefaultBoardConfig();
  std::string WithImage;
  if (Given.Image) {
    Values = ReadImage(*Given.Image);
    WithImage = " with the board values of " + *Given.Image;
  }
  InspectOptions Chip = ReadOptions(Given, Values);
  if (Given.Plan) {
    auto Lines = PlanInspection(Chip);
    if (Given.Json) {
      std::cout << sio::JsonDocument(siotool::Json{{"plan", Lines}});
    } else {
      std::cout << "Plan (no port is accessed):\n";
      for (const auto& Line : Lines)
        std::cout << Line << "\n";
    }
    ExitCode = 0;
    return;
  }

  // The expectation first: a bad scenario or variable stops before any access.
  std::optional<Expectation> Expect;
  if (!Given.Expect.empty()) {
    Expect = Need(ExpectFromScenario(ResolveScenario(Given.Expect, "--expect"), Chip.All,
                                     "scenario " + Given.Expect + WithImage, Values));
  } else if (Given.ExpectLive) {
    Expect = Need(ExpectFromVariable(Need(ReadEfiVariable(Given.EfiVariable)), Chip.All, Values));
    Expect->Source += WithImage;
  }

  std::unique_ptr<engine::HostEngine> Board;
  std::unique_ptr<PortAccess> Ports;
  std::string Through;
  if (!Given.Board.empty()) {
    // The board as the module's pass leaves it, read like a real one.
    board::Scenario Scenario = ResolveScenario(Given.Board, "--board");
    const SioBoardConfig Record = Values.Record();
    engine::ScopedBoardConfig Scoped(Record);
    Board = std::make_unique<engine::HostEngine>();
    Board->Run(Scenario);
    Ports = std::make_unique<BoardPorts>(Board->Target().Bus());
    Through = "the board model (scenario " + Given.Board + WithImage + ")";
  } else {
    Ports = Need(DevPort::Open(Given.DevPortPath));
    Through = Given.DevPortPath;
    if (std::string Notice = LiveProbeNotice(Chip, Through); !Notice.empty())
      std::cerr << ProgramName << ": note: " << Notice << "\n";
  }

  // From the first enter key on, the signals that would end the process are
  // held: the reading stops at one, puts the chip back, and the process then
  // ends by it.
  RecordingPorts Made(*Ports);
  std::optional<sio::Result<ChipReading>> Got;
  int Signal = 0;
  {
    SignalHold Hold;
    Got.emplace(InspectChip(Made, Chip, &Hold));
    Hold.Release();
    Signal = Hold.Caught();
  }
  auto& Reading = *Got;
  if (!Reading) {
    if (Given.Trace)
      PrintAccesses(Made.Log(), Given.Json);
    std::string Message = Reading.Message().starts_with(Given.DevPortPath)
                              ? Reading.Message()
                              : Reading.Within(Through).Message;
    if (Signal != 0)
      throw Interrupted(Message, Signal);
    throw siotool::InputError(Message);
  }
  if (Signal != 0) {
    throw Interrupted(Through + ": interrupted by " + SignalName(Signal) +
                          " after the reading; the chip was left as found (exit key written)",
                      Signal);
  }

  Comparison Result = Compare(*Reading, Expect ? &*Expect : nullptr);
  InspectReport Report{Through, *Reading, Expect ? &*Expect : nullptr, Result, Chip.All};
  if (Given.Json) {
    siotool::Json Doc = InspectReportToJson(Report);
    if (Given.Trace)
      Doc["accesses"] = AccessesToJson(Reading->Accesses);
    std::cout << sio::JsonDocument(Doc);
  } else {
    if (Given.Trace)
      PrintAccesses(Reading->Accesses, false);
    for (const auto& Line : FormatInspectReport(Report))
      std::cout << Line << "\n";
  }
  ExitCode = Result.HasDifference() ? 1 : 0;
}

} // namespace

void AddInspection(CLI::App& Command, int& ExitCode, ImageBoardReader ReadImage) {
  auto Given = std::make_shared<Options>();
  auto* Port = Command
                   .add_option("--port", Given->Port,
                               "Probe only this index port, one of the module's (default: the "
                               "module's discovery)")
                   ->type_name("P");
  Command
      .add_flag(kUnsafePortOption, Given->UnsafePort,
                "Let --port name an index port other than the module's; the standard PC "
                "ports whose writes have side effects stay refused")
      ->needs(Port);
  Command.add_flag("--all", Given->All,
                   "Read registers 0x30-0xFF (but the keys 0x77 and 0xAA) of every logical "
                   "device 0x00-0x0F, and chip-global 0x00-0x2F");
  Command.add_flag("--plan", Given->Plan, "Print the port accesses it would make; make none");
  Command
      .add_option("--board", Given->Board,
                  "Read the simulated board of a scenario (name or file) after the module's "
                  "pass instead of /dev/port")
      ->type_name("SCENARIO");
  auto* Expect = Command
                     .add_option("--expect", Given->Expect,
                                 "Compare with what the module's pass leaves on the board of a "
                                 "scenario (name or file)")
                     ->type_name("SCENARIO");
  auto* Live = Command.add_flag("--expect-live", Given->ExpectLive,
                                "Compare with what the module's pass leaves given the live setup "
                                "variable (efivarfs)");
  Expect->excludes(Live);
  Command.add_option("--efivar", Given->EfiVariable, "The setup variable's efivarfs file")
      ->type_name("FILE")
      ->capture_default_str()
      ->needs(Live);
  Command.add_option("--dev-port", Given->DevPortPath, "The port device")
      ->type_name("FILE")
      ->capture_default_str();
  CLI::Option* Image = nullptr;
  if (ReadImage) {
    Image =
        Command
            .add_option("--image", Given->ImagePath,
                        "The module image whose board values (index ports, register script) the "
                        "discovery, the registers read, --board's pass and the expectation follow "
                        "(default: the built-in ones)")
            ->type_name("IMAGE");
  }
  Command.add_flag("--json", Given->Json, "Print the report as one JSON document");
  Command.add_flag("--trace", Given->Trace, "Also show every port access made, decoded");
  const CLI::App* Root = &Command;
  while (Root->get_parent())
    Root = Root->get_parent();
  Command.callback([Given, Image, ReadImage = std::move(ReadImage), Root, &ExitCode] {
    if (Image != nullptr && Image->count() > 0)
      Given->Image = Given->ImagePath;
    Inspect(*Given, ReadImage, Root->get_name(), ExitCode);
  });
}

} // namespace inspect
