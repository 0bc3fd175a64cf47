// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/ScenarioChoice.h"

#include <filesystem>
#include <system_error>

namespace board {

std::string ScenarioNames() {
  std::string Names;
  for (const auto& Named : ScenarioCatalog())
    Names += (Names.empty() ? "" : ", ") + Named.Name;
  return Names;
}

sio::Result<ScenarioChoice> ChooseScenario(const std::string& Text) {
  if (Text.find('/') != std::string::npos)
    return ScenarioChoice{nullptr, Text};
  std::error_code Error;
  const bool FileExists = std::filesystem::exists(Text, Error);
  if (const NamedScenario* Named = FindScenario(Text)) {
    if (FileExists) {
      return sio::Fail(Text + ": both a named scenario and a file here; write ./" + Text +
                       " for the file");
    }
    return ScenarioChoice{Named, {}};
  }
  if (!FileExists) {
    return sio::Fail(Text + ": neither a named scenario (known: " + ScenarioNames() +
                     ") nor a file");
  }
  return ScenarioChoice{nullptr, Text};
}

} // namespace board
