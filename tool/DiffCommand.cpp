// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio diff`: the same scenario on the image and on the host build;
// "identical (N events)" and exit code 0 when the passes agree, the first
// differences and exit code 1 otherwise; --json prints the same as JSON.
#include <iostream>
#include <memory>

#include "common/JsonDocument.h"
#include "tool/InputError.h"
#include "tool/Commands.h"
#include "tool/PassDiff.h"
#include "tool/ScenarioOptions.h"

namespace siotool {

void AddDiffCommand(CLI::App& App, int& ExitCode) {
  auto Options = std::make_shared<ScenarioOptions>();
  auto* Diff = App.add_subcommand(
      "diff", "Run a scenario on the image and on the host build and show where they differ");
  Options->AddTo(*Diff);
  Options->AddEngineTo(*Diff, false);
  auto Json = std::make_shared<bool>(false);
  Diff->add_flag("--json", *Json, "Print the report as one JSON document");
  Diff->callback([Options, Json, &ExitCode] {
    Options->CheckEngineChoice();
    board::Scenario Scenario = Options->Build();
    EngineRun Image = RunPass(EngineKind::Image, Scenario, Options->ImagePath());
    EngineRun Host = RunPass(EngineKind::Host, Scenario, Options->ImagePath());
    const DiffReport Report = MakeDiffReport(Image, Host);
    if (*Json)
      std::cout << sio::JsonDocument(DiffReportToJson(Report));
    else
      PrintDiffReport(std::cout, Report);
    ExitCode = Report.Identical() ? 0 : 1;
  });
}

} // namespace siotool
