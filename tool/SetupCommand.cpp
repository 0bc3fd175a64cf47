// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio setup`: runs the setup driver's image in the emulator on a variable
// store holding the given variable (or none), reads the package list it
// registered and prints the page as Setup shows it: title, help, and each
// question with its prompt, help, current value and default. --choose sets
// questions as a user would; -o writes the variable saving them would store.
#include <iostream>
#include <memory>

#include "common/DataPaths.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "common/Hex.h"
#include "emulator/DxeRun.h"
#include "hii/HiiDecoder.h"
#include "hii/PageChoices.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"
#include "tool/CommandReports.h"
#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/Report.h"
#include "tool/SetupContentOptions.h"

namespace siotool {
namespace {

// The largest variable --content takes: a wrong size is something to try.
constexpr size_t kMaxVariableFile = 4096;

struct SetupOptions {
  std::string Image;
  SetupContentOptions Content;
  std::vector<std::string> Choices;
  std::string Output;
  bool Json = false;
};

} // namespace

void AddSetupCommand(CLI::App& App, int& ExitCode) {
  auto O = std::make_shared<SetupOptions>();
  auto* Setup = App.add_subcommand(
      "setup", "Run the setup driver in the emulator and show the page it registers");
  Setup->add_option("--image", O->Image, "Setup driver image (default: the built IA-32 one)")
      ->type_name("FILE");
  O->Content.AddTo(*Setup, true);
  Setup
      ->add_option("--choose", O->Choices,
                   "Set a question as a user would: \"PROMPT=VALUE\" (repeatable)")
      ->type_name("PROMPT=VALUE");
  Setup
      ->add_option("-o,--output", O->Output,
                   "Write the variable content that saving the choices would store")
      ->type_name("FILE");
  Setup->add_flag("--json", O->Json, "Print the page as one JSON document");
  Setup->callback([O, &ExitCode] {
    const std::string Image = O->Image.empty() ? sio::data::SetupDxeFile() : O->Image;
    // A PE image of a DXE driver is a few KiB; refuse anything huge.
    auto File = Need(sio::ReadInputFile(Image, 16 << 20));
    emulator::DxeScenario Scenario;
    if (O->Content.Given())
      Scenario.SetupVariable = O->Content.Build(kMaxVariableFile);
    emulator::DxeRunReport Run = emulator::RunDxeImage(File, Scenario);
    // A file the loader refuses is bad input; a driver that ran and faulted
    // is a failed check.
    if (!Run.Completed && Run.Fault.starts_with("bad image: "))
      throw InputError(Image + ": " + Run.Fault.substr(sizeof "bad image: " - 1));
    if (!Run.Completed)
      throw InputError(Image + ": the driver did not run to its end: " + Run.Fault,
                       sio::ErrorKind::Failed);
    if (pi::IsError(Run.Status) || Run.PackageList.empty()) {
      std::string Calls;
      for (const auto& Call : Run.Calls)
        Calls += (Calls.empty() ? "" : ", ") + Call.Service + " " + pi::StatusName(Call.Status);
      throw InputError(Image + ": the driver registered no page (status " +
                           pi::StatusName(Run.Status) + "; calls: " + Calls + ")",
                       sio::ErrorKind::Failed);
    }
    auto Page = hii::DecodePackageList(Run.PackageList);
    if (!Page)
      throw InputError(Image + ": registered package list", Page.Failure());
    // The values Setup reads: the variable as the driver left it.
    std::vector<uint8_t> Values = Run.SetupVariable.value_or(std::vector<uint8_t>{});
    for (const std::string& Choice : O->Choices) {
      if (auto Applied = hii::ApplyChoice(*Page, Choice, Values); !Applied)
        throw InputError("--choose", Applied.Failure());
    }
    PrintReport(std::cout, SetupPageReport{Image, Run.Mode, Run.Status, *Page, Values}, O->Json);
    if (!O->Output.empty()) {
      Need(sio::WriteOutputFile(O->Output, Values, "variable content"), "--output");
    }
    ExitCode = 0;
  });
}

} // namespace siotool
