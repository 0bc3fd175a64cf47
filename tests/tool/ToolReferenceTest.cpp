// SPDX-License-Identifier: BSD-2-Clause-Patent
// docs/tool-reference.md lists every option of every command once, in its
// section "Every option": each command's table against the options the
// command's CLI11 app defines (the ones --help shows; hidden aliases aside).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/BuildPaths.h"
#include "inspect/Inspection.h"
#include "tool/Commands.h"

namespace {

using Names = std::multiset<std::string>;
using Commands = std::map<std::string, Names>;

// Each option's names as the reference writes them: "-o", "--output"; a
// positional argument by its name ("FILE").
Names OptionNames(const CLI::App& Command) {
  Names Out;
  for (const CLI::Option* Option : Command.get_options()) {
    if (Option == Command.get_help_ptr() || Option->get_group().empty())
      continue;
    if (Option->get_positional() && Option->get_lnames().empty() && Option->get_snames().empty()) {
      Out.insert(Option->get_name(true));
      continue;
    }
    for (const auto& Name : Option->get_snames())
      Out.insert("-" + Name);
    for (const auto& Name : Option->get_lnames())
      Out.insert("--" + Name);
  }
  return Out;
}

// "sio image check" and the like, for every command with an option of its own.
void Collect(const CLI::App& Command, const std::string& Path, Commands& Out) {
  Names Own = OptionNames(Command);
  if (!Own.empty())
    Out[Path] = Own;
  for (const CLI::App* Sub : Command.get_subcommands([](const CLI::App*) { return true; }))
    Collect(*Sub, Path + " " + Sub->get_name(), Out);
}

Commands FromApps() {
  int Exit = 0;
  CLI::App Sio;
  Sio.set_version_flag("--version", "sio");
  siotool::AddCommands(Sio, Exit);
  Commands Out;
  Collect(Sio, "sio", Out);
  CLI::App Inspect;
  Inspect.set_version_flag("--version", "sio-inspect");
  inspect::AddInspection(Inspect, [](sio::Result<int>) {});
  Collect(Inspect, "sio-inspect", Out);
  return Out;
}

// The section's tables: "### `COMMAND`", then rows whose first cell's code
// span names the option ("`-o, --output FILE`") or the argument ("`FILE`").
Commands FromReference() {
  std::ifstream In(std::string(sio::build::kDocsDir) + "/tool-reference.md");
  EXPECT_TRUE(In);
  Commands Out;
  bool InSection = false;
  std::string Command;
  static const std::regex Heading("^### `([^`]+)`$");
  static const std::regex Row("^\\| `([^`]+)` \\|");
  for (std::string Line; std::getline(In, Line);) {
    if (Line.starts_with("## "))
      InSection = Line == "## Every option";
    std::smatch Match;
    if (!InSection)
      continue;
    if (std::regex_match(Line, Match, Heading)) {
      Command = Match[1];
      Out[Command];
    } else if (!Command.empty() && std::regex_search(Line, Match, Row)) {
      std::istringstream Words(std::regex_replace(std::string(Match[1]), std::regex(","), " "));
      std::vector<std::string> Tokens{std::istream_iterator<std::string>(Words), {}};
      bool Named = false;
      for (const auto& Token : Tokens) {
        if (Token.starts_with("-")) {
          Out[Command].insert(Token);
          Named = true;
        }
      }
      if (!Named && !Tokens.empty())
        Out[Command].insert(Tokens.front());
    }
  }
  return Out;
}

std::string Show(const Names& N) {
  std::string Text;
  for (const auto& Name : N)
    Text += (Text.empty() ? "" : " ") + Name;
  return Text;
}

// `sio-inspect` is `sio inspect` without --image: its table lists only what
// it adds (--version), and the rest is checked against `sio inspect`'s.
TEST(ToolReference, ListsEveryOptionOfEveryCommandOnce) {
  Commands Apps = FromApps();
  const Commands Reference = FromReference();
  ASSERT_TRUE(Reference.count("sio inspect")) << "no table for sio inspect";
  ASSERT_TRUE(Reference.count("sio-inspect")) << "no table for sio-inspect";
  Names Inspect = Reference.at("sio inspect");
  Inspect.erase("--image");
  for (const auto& Name : Reference.at("sio-inspect"))
    Inspect.insert(Name);
  EXPECT_EQ(Show(Apps.at("sio-inspect")), Show(Inspect)) << "sio-inspect";
  Apps.erase("sio-inspect");

  for (const auto& [Command, Options] : Apps) {
    const auto Found = Reference.find(Command);
    if (Found == Reference.end()) {
      ADD_FAILURE() << Command << ": no table in the reference (options: " << Show(Options) << ")";
      continue;
    }
    EXPECT_EQ(Show(Found->second), Show(Options))
        << Command << ": the reference's table (left) against --help (right)";
  }
  for (const auto& [Command, Options] : Reference) {
    if (Command != "sio-inspect") {
      EXPECT_TRUE(Apps.count(Command)) << Command << ": a table for no command";
    }
  }
}

} // namespace
