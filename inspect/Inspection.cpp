// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Inspection.h"

#include <iostream>
#include <memory>

#include "board/ScenarioChoice.h"
#include "board/ScenarioFile.h"
#include "chip/TraceDecoder.h"
#include "common/JsonDocument.h"
#include "common/OldSpelling.h"
#include "engine/HostBoardValues.h"
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
  std::string Scenario; // --scenario NAME|FILE: the board model instead of /dev/port
  std::string Expect;
  bool ExpectLive = false;
  std::string EfiVariable = DefaultEfiVariablePath();
  std::string DevPortPath = kDevPortPath;
  bool Json = false;
  bool Trace = false;
  std::string ImagePath;
  std::optional<std::string> Image; // ImagePath when --image was given
};

// A named scenario of the board's catalog, or a scenario file
// (board/ScenarioChoice.h tells which).
sio::Result<board::Scenario> ResolveScenario(const std::string& Text, const std::string& Flag) {
  auto Choice = board::ChooseScenario(Text);
  if (!Choice)
    return sio::Fail(Flag + ": " + Choice.Message());
  if (Choice->Named)
    return Choice->Named->Scenario;
  return siotool::LoadScenarioFile(Choice->File);
}

// Board: the module's board values, the image's when one is given: its
// ports are the module's.
sio::Result<InspectOptions> ReadOptions(const Options& Given, const chip::BoardValues& Board) {
  InspectOptions Out;
  Out.All = Given.All;
  Out.Board = Board;
  if (!Given.Port.empty()) {
    auto Port = siotool::ParseUnsigned(Given.Port, "--chip-port", 0xFFFF);
    if (!Port)
      return Port.Failure();
    std::string Problem = IndexPortProblem(*Port, Given.UnsafePort, Board);
    if (!Problem.empty())
      return sio::Fail("--chip-port: " + Problem);
    Out.Port = static_cast<uint16_t>(*Port);
  } else if (Given.Image) {
    // The image's discovery is followed as given, so every port it probes
    // must be one a reading may reach.
    std::string Problem = ModulePortsProblem(Board);
    if (!Problem.empty())
      return sio::Fail("--image: " + *Given.Image + ": " + Problem + "; give --chip-port P");
  }
  return Out;
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

// The expectation, when one is asked for: a bad scenario or variable stops
// before any access.
sio::Result<std::optional<Expectation>> ReadExpectation(const Options& Given,
                                                        const InspectOptions& Chip,
                                                        const chip::BoardValues& Values,
                                                        const std::string& WithImage) {
  if (!Given.Expect.empty()) {
    auto Scenario = ResolveScenario(Given.Expect, "--expect");
    if (!Scenario)
      return Scenario.Failure();
    auto Expect =
        ExpectFromScenario(*Scenario, Chip.All, "scenario " + Given.Expect + WithImage, Values);
    if (!Expect)
      return Expect.Failure();
    return std::optional<Expectation>(std::move(*Expect));
  }
  if (Given.ExpectLive) {
    auto Variable = ReadEfiVariable(Given.EfiVariable);
    if (!Variable)
      return Variable.Failure();
    auto Expect = ExpectFromVariable(*Variable, Chip.All, Values);
    if (!Expect)
      return Expect.Failure();
    Expect->Source += WithImage;
    return std::optional<Expectation>(std::move(*Expect));
  }
  return std::optional<Expectation>();
}

// The ports a reading goes through: the board model of a scenario after the
// module's pass, or the port device.
struct PortsRead {
  std::unique_ptr<engine::HostEngine> Board;
  std::unique_ptr<PortAccess> Ports;
  std::string Through;
};

sio::Result<void> OpenPorts(const Options& Given, const InspectOptions& Chip,
                            const chip::BoardValues& Values, const std::string& WithImage,
                            const std::string& ProgramName, PortsRead& Out) {
  if (!Given.Scenario.empty()) {
    // The board as the module's pass leaves it, read like a real one.
    auto Scenario = ResolveScenario(Given.Scenario, "--scenario");
    if (!Scenario)
      return Scenario.Failure();
    const SioBoardConfig Record = Values.Record();
    engine::ScopedBoardValues Scoped(Record);
    Out.Board = std::make_unique<engine::HostEngine>();
    Out.Board->Run(*Scenario);
    Out.Ports = std::make_unique<BoardPorts>(Out.Board->Target().Bus());
    Out.Through = "the board model (scenario " + Given.Scenario + WithImage + ")";
    return {};
  }
  auto Device = DevPort::Open(Given.DevPortPath);
  if (!Device)
    return Device.Failure();
  Out.Ports = std::move(*Device);
  Out.Through = Given.DevPortPath;
  if (std::string Notice = LiveProbeNotice(Chip, Out.Through); !Notice.empty())
    std::cerr << ProgramName << ": note: " << Notice << "\n";
  return {};
}

// The exit code: 0 as expected, 1 a difference; or the error that stopped it.
sio::Result<int> Inspect(const Options& Given, const ImageBoardReader& ReadImage,
                         const std::string& ProgramName) {
  // The module's board values: the image's, or the built-in ones.
  chip::BoardValues Values = chip::DefaultBoardValues();
  std::string WithImage;
  if (Given.Image) {
    auto Read = ReadImage(*Given.Image);
    if (!Read)
      return Read.Failure();
    Values = *Read;
    WithImage = " with the board values of " + *Given.Image;
  }
  auto Options = ReadOptions(Given, Values);
  if (!Options)
    return Options.Failure();
  const InspectOptions& Chip = *Options;
  if (Given.Plan) {
    auto Lines = PlanInspection(Chip);
    if (Given.Json) {
      std::cout << sio::JsonDocument(siotool::Json{{"plan", Lines}});
    } else {
      std::cout << "Plan (no port is accessed):\n";
      for (const auto& Line : Lines)
        std::cout << Line << "\n";
    }
    return 0;
  }

  auto Expect = ReadExpectation(Given, Chip, Values, WithImage);
  if (!Expect)
    return Expect.Failure();
  PortsRead Opened;
  if (auto Open = OpenPorts(Given, Chip, Values, WithImage, ProgramName, Opened); !Open)
    return Open.Failure();
  const std::string& Through = Opened.Through;

  // From the first enter key on, the signals that would end the process are
  // held: the reading stops at one, puts the chip back, and the process then
  // ends by it.
  RecordingPorts Made(*Opened.Ports);
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
    sio::Error Failure = Reading.Message().starts_with(Given.DevPortPath) ? Reading.Failure()
                                                                          : Reading.Within(Through);
    Failure.Signal = Signal;
    return Failure;
  }
  if (Signal != 0) {
    return sio::Error{Through + ": interrupted by " + SignalName(Signal) +
                          " after the reading; the chip was left as found (exit key written)",
                      sio::ErrorKind::Failed, Signal};
  }

  const Expectation* Expected = *Expect ? &**Expect : nullptr;
  Comparison Result = Compare(*Reading, Expected);
  InspectReport Report{Through, *Reading, Expected, Result, Chip.All};
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
  return Result.HasDifference() ? 1 : 0;
}

} // namespace

void AddInspection(CLI::App& Command, InspectionDone Done, ImageBoardReader ReadImage) {
  auto Given = std::make_shared<Options>();
  auto* Port = Command
                   .add_option("--chip-port", Given->Port,
                               "Probe only this index port, one of the module's (default: the "
                               "module's discovery)")
                   ->type_name("PORT");
  auto* OldPort = sio::AddOldSpelling(Command, "--port", Port, Given->Port);
  auto* Unsafe = Command.add_flag(kUnsafePortOption, Given->UnsafePort,
                                  "Let --chip-port name an index port other than the module's; "
                                  "the standard PC ports whose writes have side effects stay "
                                  "refused");
  Command.add_flag("--all", Given->All,
                   "Read registers 0x30-0xFF (but the keys 0x77 and 0xAA) of every logical "
                   "device 0x00-0x0F, and chip-global 0x00-0x2F");
  Command.add_flag("--plan", Given->Plan, "Print the port accesses it would make; make none");
  auto* Scenario = Command
                       .add_option("--scenario", Given->Scenario,
                                   "Read the simulated board of a scenario (name or file) after "
                                   "the module's pass instead of /dev/port")
                       ->type_name("NAME|FILE");
  sio::AddOldSpelling(Command, "--board", Scenario, Given->Scenario);
  auto* Expect = Command
                     .add_option("--expect", Given->Expect,
                                 "Compare with what the module's pass leaves on the board of a "
                                 "scenario (name or file)")
                     ->type_name("NAME|FILE");
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
    Image = Command
                .add_option(
                    "--image", Given->ImagePath,
                    "The module image whose board values (index ports, register script) the "
                    "discovery, the registers read, --scenario's pass and the expectation follow "
                    "(default: the built-in ones)")
                ->type_name("IMAGE");
  }
  Command.add_flag("--json", Given->Json, "Print the report as one JSON document");
  Command.add_flag("--trace", Given->Trace, "Also show every port access made, decoded");
  const CLI::App* Root = &Command;
  while (Root->get_parent())
    Root = Root->get_parent();
  Command.callback([Given, Image, ReadImage = std::move(ReadImage), Root, Port, OldPort, Unsafe,
                    Done = std::move(Done)] {
    // --unsafe-port widens --chip-port (or its old spelling): alone it means nothing.
    if (Unsafe->count() > 0 && !sio::GivenEither(Port, OldPort))
      throw CLI::RequiresError(kUnsafePortOption, Port->get_name());
    if (Image != nullptr && Image->count() > 0)
      Given->Image = Given->ImagePath;
    Done(Inspect(*Given, ReadImage, Root->get_name()));
  });
}

} // namespace inspect
