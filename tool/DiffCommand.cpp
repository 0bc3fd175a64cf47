// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio diff`: the same scenario on the image and on the host build;
// "identical (N events)" and exit code 0 when the passes agree, the first
// differences and exit code 1 otherwise.
#include <iostream>
#include <memory>

#include "common/InputError.h"
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
  Diff->callback([Options, &ExitCode] {
    Options->CheckEngineChoice();
    board::Scenario Config = Options->Build();
    EngineRun Image = RunPass(EngineKind::Image, Config, Options->ImagePath());
    EngineRun Host = RunPass(EngineKind::Host, Config, Options->ImagePath());
    auto Lines = DiffPasses(Image, Host);
    for (const auto& Line : Lines)
      std::cout << Line << "\n";
    if (Lines.empty())
      std::cout << "identical (" << Image.Result.Events.size() << " events)\n";
    ExitCode = Lines.empty() ? 0 : 1;
  });
}

} // namespace siotool
