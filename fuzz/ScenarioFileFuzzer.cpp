// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: scenario files as `sio run --scenario` reads them. Any text is
// either refused with a one-line error or read into a scenario that is
// written out and read back the same.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "board/ScenarioFile.h"

namespace {

[[noreturn]] void Finding(const std::string& What) {
  std::fprintf(stderr, "scenario_file: %s\n", What.c_str());
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > siotool::kMaxJsonFileSize)
    return 0; // the file reader refuses such a file before parsing it
  auto Document = siotool::ParseJson(std::span(Data, Size));
  auto Scenario = Document ? siotool::ParseScenario(*Document)
                           : sio::Result<board::Scenario>(Document.Failure());
  if (!Scenario) {
    const std::string& Message = Scenario.Message();
    if (Message.empty() || Message.find('\n') != std::string::npos)
      Finding("error message is not one line: " + Message);
    return 0;
  }
  siotool::Json Written = siotool::ScenarioToJson(*Scenario);
  auto Again = siotool::ParseScenario(Written);
  if (!Again)
    Finding("written " + Written.dump() + " is refused: " + Again.Message());
  if (siotool::ScenarioToJson(*Again) != Written)
    Finding("written " + Written.dump() + " reads back as " +
            siotool::ScenarioToJson(*Again).dump());
  return 0;
}
