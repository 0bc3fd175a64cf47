// SPDX-License-Identifier: BSD-2-Clause-Patent
// Arguments a shell can pass but the CMake process tests cannot (an empty
// argument): each is refused before anything runs or is written.
#include <gtest/gtest.h>

#include <vector>

#include "common/InputError.h"
#include "tool/Commands.h"

namespace {

TEST(CommandLine, EmptyFileNamesAreRefusedBeforeTheRun) {
  const std::pair<std::vector<const char*>, const char*> Cases[] = {
      {{"sio", "run", "--engine", "host", "--vcd", ""}, "--vcd: empty file name"},
      {{"sio", "run", "--image", ""}, "--image: empty file name"},
      {{"sio", "diff", "--image", ""}, "--image: empty file name"},
      {{"sio", "var", "encode", "--trailer", "", "-o", "never.bin"},
       "--trailer: give exactly 7 bytes, not 0 (e.g. 00:00:00:00:00:00:01)"},
  };
  for (const auto& [Args, Message] : Cases) {
    CLI::App App;
    int ExitCode = -1;
    siotool::AddRunCommand(App, ExitCode);
    siotool::AddDiffCommand(App, ExitCode);
    siotool::AddVarCommands(App, ExitCode);
    try {
      App.parse(static_cast<int>(Args.size()), const_cast<char**>(Args.data()));
      ADD_FAILURE() << Args[1] << " " << Args.back() << " was accepted";
    } catch (const siotool::InputError& Error) {
      EXPECT_STREQ(Error.what(), Message);
    }
    EXPECT_EQ(ExitCode, -1) << "the command ran";
  }
}

} // namespace
