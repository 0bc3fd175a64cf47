// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio run`: one pass on a scenario, reported as text or JSON, optionally
// dumped as a waveform.
#include <iostream>
#include <memory>
#include <sstream>

#include "board/ScenarioFile.h"
#include "common/FileOutput.h"
#include "common/JsonDocument.h"
#include "tool/InputError.h"
#include "common/JsonFields.h"
#include "tool/Commands.h"
#include "tool/RunReport.h"
#include "tool/ScenarioOptions.h"
#include "tool/VcdWriter.h"

namespace siotool {
namespace {

struct RunOptions {
  ScenarioOptions Scenario;
  bool Json = false;
  std::string VcdFile;
  std::string ExpectStatus;
};

} // namespace

void AddRunCommand(CLI::App& App, int& ExitCode) {
  auto Options = std::make_shared<RunOptions>();
  auto* Run = App.add_subcommand(
      "run", "Run one pass of the module on a board and show what it did, in the chip's terms");
  Options->Scenario.AddTo(*Run);
  Options->Scenario.AddEngineTo(*Run, true);
  Run->add_flag("--json", Options->Json, "Print the report as one JSON document");
  auto* Vcd =
      Run->add_option("--vcd", Options->VcdFile,
                      "Also write the port accesses as a value-change dump (GTKWave, PulseView)")
          ->type_name("FILE");
  auto* Expect =
      Run->add_option("--expect-status", Options->ExpectStatus,
                      "Exit with code 1 unless the module returns this status (name such as "
                      "EFI_SUCCESS, or 0xHEX)")
          ->type_name("STATUS");
  Run->callback([Options, Vcd, Expect, &ExitCode] {
    // Every argument is checked before the pass runs.
    std::optional<uint32_t> Expected;
    if (Expect->count() > 0)
      Expected = Need(ReadStatus(Json(Options->ExpectStatus), "--expect-status"));
    Options->Scenario.CheckEngineChoice();
    board::Scenario Scenario = Options->Scenario.Build();
    EngineRun Result = RunPass(Options->Scenario.Engine(), Scenario, Options->Scenario.ImagePath());
    if (Vcd->count() > 0) {
      std::ostringstream Dump;
      WriteVcd(Dump, Result.Result.Events);
      const std::string Text = Dump.str();
      Need(sio::WriteOutputFile(Options->VcdFile,
                                {reinterpret_cast<const uint8_t*>(Text.data()), Text.size()},
                                "waveform"),
           "--vcd");
    }
    // A run the emulator had to stop is a failed run, whatever it printed.
    ExitCode = Result.Completed ? 0 : 1;
    if (Expected && Result.Result.Status != *Expected)
      ExitCode = 1;
    const RunReport Report = MakeRunReport(std::move(Result), std::move(Scenario));
    if (Options->Json) {
      std::cout << sio::JsonDocument(RunReportToJson(Report));
    } else {
      PrintRunReport(std::cout, Report);
    }
  });
}

} // namespace siotool
