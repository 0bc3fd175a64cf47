// SPDX-License-Identifier: BSD-2-Clause-Patent
// Each command's text report and its --json report carry the same facts: the
// built `sio` runs each command twice, and every string and number of the
// JSON document must show in the text (a number in decimal or in hex, as the
// text writes it). A fact one printer shows and the other lacks fails here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "common/BuildPaths.h"
#include "common/JsonFields.h"

namespace {

namespace fs = std::filesystem;
using siotool::Json;

struct Output {
  std::string Out;
  int Exit = -1;
};

std::string ShellQuoted(const std::string& Word) {
  std::string Out = "'";
  for (char C : Word)
    Out += C == '\'' ? std::string("'\\''") : std::string(1, C);
  return Out + "'";
}

Output RunTool(const std::string& Tool, const std::vector<std::string>& Args) {
  std::string Command = ShellQuoted(Tool);
  for (const auto& Arg : Args)
    Command += " " + ShellQuoted(Arg);
  Output Result;
  FILE* Pipe = popen((Command + " 2>/dev/null").c_str(), "r");
  if (!Pipe)
    return Result;
  std::array<char, 4096> Buffer;
  for (size_t N; (N = fread(Buffer.data(), 1, Buffer.size(), Pipe)) > 0;)
    Result.Out.append(Buffer.data(), N);
  const int Status = pclose(Pipe);
  Result.Exit = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  return Result;
}

// One folder per test process: ctest runs the cases as processes of their
// own, side by side, and each makes its inputs afresh.
fs::path WorkDir() {
  static const fs::path Dir = [] {
    fs::path Made = fs::path(sio::build::kTestWorkDir) /
                    ("report-agreement-" + std::to_string(static_cast<long>(getpid())));
    fs::create_directories(Made);
    return Made;
  }();
  return Dir;
}

// A number as a text report may write it: decimal, or hex with or without
// 0x and leading zeros ("0x01F8", "01F8", "1F8").
bool ShowsNumber(const std::string& Text, uint64_t Value) {
  char Hex[24];
  std::snprintf(Hex, sizeof Hex, "%llX", static_cast<unsigned long long>(Value));
  const std::regex Shown("(^|[^0-9A-Za-z])((0x)?0*" + std::string(Hex) + "|" +
                             std::to_string(Value) + ")($|[^0-9A-Za-z])",
                         std::regex::icase);
  return std::regex_search(Text, Shown);
}

// Every string and number in Value that the text lacks, by its path; keys in
// JsonOnly (facts the text leaves to scripts) are passed over.
void Missing(const Json& Value, const std::string& Path, const std::string& Text,
             const std::set<std::string>& JsonOnly, std::vector<std::string>& Out) {
  if (Value.is_object()) {
    for (const auto& [Key, Item] : Value.items())
      if (!JsonOnly.count(Key))
        Missing(Item, Path + "." + Key, Text, JsonOnly, Out);
  } else if (Value.is_array()) {
    for (size_t I = 0; I < Value.size(); ++I)
      Missing(Value[I], Path + "[" + std::to_string(I) + "]", Text, JsonOnly, Out);
  } else if (Value.is_number_unsigned()) {
    if (!ShowsNumber(Text, Value.get<uint64_t>()))
      Out.push_back(Path + " = " + Value.dump());
  } else if (Value.is_string()) {
    const auto& S = Value.get_ref<const std::string&>();
    static const std::regex HexNumber("0x[0-9A-Fa-f]+");
    const bool Shown = std::regex_match(S, HexNumber)
                           ? ShowsNumber(Text, std::stoull(S.substr(2), nullptr, 16))
                           : Text.find(S) != std::string::npos;
    if (!Shown)
      Out.push_back(Path + " = " + Value.dump());
  }
}

struct ReportCase {
  const char* Name;
  std::vector<std::string> Args;  // "{work}" is the work folder
  std::set<std::string> JsonOnly; // keys whose values the text does not show, and why below
  int Exit = 0;
  bool Inspect = false; // run sio-inspect rather than sio
};

std::vector<std::string> Expand(const std::vector<std::string>& Args) {
  std::vector<std::string> Out;
  for (std::string Arg : Args) {
    for (size_t At; (At = Arg.find("{work}")) != std::string::npos;)
      Arg.replace(At, 6, WorkDir().string());
    Out.push_back(Arg);
  }
  return Out;
}

const std::string kImage = sio::build::kImageFile;
const std::string kModule = sio::build::kModuleFile;

// Files the cases read, made by `sio` itself.
void MakeInputs() {
  const std::string Work = WorkDir().string();
  fs::remove(Work + "/module.fv");
  fs::remove(Work + "/ld8.bin");
  fs::remove(Work + "/vars.fd");
  ASSERT_EQ(RunTool(sio::build::kSioFile, {"pack", "fv", kModule, "-o", Work + "/module.fv"}).Exit,
            0);
  ASSERT_EQ(RunTool(sio::build::kSioFile,
                    {"var", "encode", "--entry", "empty", "--entry",
                     "chip_id_high=0x02,chip_id_low=0x16,kind=0x12,qualifier=0,enabled=1,"
                     "param=5A:00:01:00",
                     "-o", Work + "/ld8.bin"})
                .Exit,
            0);
  ASSERT_EQ(RunTool(sio::build::kSioFile, {"var", "store", sio::build::kOvmfVars, "--content",
                                           Work + "/ld8.bin", "-o", Work + "/vars.fd"})
                .Exit,
            0);
}

void PrintTo(const ReportCase& Case, std::ostream* Out) {
  *Out << Case.Name;
}

class ReportAgreement : public testing::TestWithParam<ReportCase> {
protected:
  static void SetUpTestSuite() { MakeInputs(); }
};

TEST_P(ReportAgreement, TextShowsEveryFactOfTheJson) {
  const ReportCase& C = GetParam();
  const std::string Tool = C.Inspect ? sio::build::kInspectFile : sio::build::kSioFile;
  const std::vector<std::string> Args = Expand(C.Args);
  // Commands that write a file write it afresh each time.
  const auto Fresh = [&Args] {
    for (size_t I = 0; I + 1 < Args.size(); ++I)
      if (Args[I] == "-o")
        fs::remove(Args[I + 1]);
  };
  Fresh();
  const Output Text = RunTool(Tool, Args);
  std::vector<std::string> WithJson = Args;
  WithJson.push_back("--json");
  Fresh();
  const Output Doc = RunTool(Tool, WithJson);
  ASSERT_EQ(Text.Exit, C.Exit) << Text.Out;
  ASSERT_EQ(Doc.Exit, C.Exit) << Doc.Out;
  Json Parsed;
  ASSERT_NO_THROW(Parsed = Json::parse(Doc.Out)) << Doc.Out;
  ASSERT_TRUE(Parsed.is_object());
  std::vector<std::string> Lacking;
  Missing(Parsed, "", Text.Out, C.JsonOnly, Lacking);
  EXPECT_TRUE(Lacking.empty()) << "the text lacks:\n  " << testing::PrintToString(Lacking)
                               << "\ntext:\n"
                               << Text.Out;
}

// JSON-only facts: the variable's content as hex pairs is the table's bytes
// in one string; setup's question ids, class GUIDs (the text names a known
// class) and raw values (the text writes them as the page does) are for
// scripts; inspect's mark is the text's symbol (ok, DIFF, --) by name, and a
// mask of 0xFF (the whole register) is what the text leaves unsaid.
INSTANTIATE_TEST_SUITE_P(
    Commands, ReportAgreement,
    testing::Values(
        ReportCase{"ImageCheck", {"image", "check", kImage}, {}},
        // A module in a volume that is no PEI volume: never dispatched (exit 1).
        ReportCase{"ImageCheckInFirmware", {"image", "check", "{work}/module.fv"}, {}, 1},
        ReportCase{"ImageConfig", {"image", "config", kImage}, {}},
        ReportCase{"ImageConfigInf", {"image", "config", kImage, "--inf"}, {}},
        ReportCase{"ImageConfigSet",
                   {"image", "config", kImage, "--set", "PcdSioF81216aConfigPort=0x2E", "-o",
                    "{work}/patched.efi"},
                   {}},
        ReportCase{"ImageExtract",
                   {"image", "extract", "{work}/module.fv", "-o", "{work}/extracted.efi"},
                   {}},
        ReportCase{"VarEncode",
                   {"var", "encode", "--entry", "kind=0x12,qualifier=0,enabled=1,param=3C:00:02:00",
                    "-o", "{work}/encoded.bin"},
                   {"content"}},
        ReportCase{"VarDecode", {"var", "decode", "{work}/ld8.bin"}, {"content"}},
        ReportCase{"VarStore",
                   {"var", "store", "{work}/vars.fd", "--content", "{work}/ld8.bin", "-o",
                    "{work}/vars-again.fd", "--firmware", sio::build::kOvmfCode},
                   {"content"}},
        ReportCase{"VarList", {"var", "list", "{work}/vars.fd"}, {"content"}},
        ReportCase{"PackFfs", {"pack", "ffs", kImage, "-o", "{work}/module.ffs"}, {}},
        ReportCase{"PackFfsTe", {"pack", "ffs", kImage, "--te", "-o", "{work}/te.ffs"}, {}},
        ReportCase{
            "PackDxe", {"pack", "dxe", sio::build::kSetupDxeFile, "-o", "{work}/setup.ffs"}, {}},
        ReportCase{"PackFv", {"pack", "fv", kModule, "-o", "{work}/packed.fv"}, {}},
        ReportCase{
            "Setup",
            {"setup", "--choose", "Register 0xF1=0x3C"},
            {"question_id", "class_guids", "value", "default", "minimum", "maximum", "step"}},
        ReportCase{"Inspect",
                   {"inspect", "--scenario", "default", "--expect", "default"},
                   {"mark", "mask"}},
        ReportCase{"InspectPlan", {"--plan"}, {}, 0, true}),
    [](const testing::TestParamInfo<ReportCase>& Info) { return std::string(Info.param.Name); });

// A path whose bytes are not UTF-8 is kept, each odd byte as \xNN, in the
// JSON as in the text; the JSON printer does not stop on it.
TEST(ReportJson, APathThatIsNotUtf8) {
  const fs::path Copy = WorkDir() / "caf\xE9.efi";
  fs::copy_file(kImage, Copy, fs::copy_options::overwrite_existing);
  for (const std::vector<std::string>& Command :
       {std::vector<std::string>{"image", "check"}, std::vector<std::string>{"image", "config"}}) {
    std::vector<std::string> Args = Command;
    Args.push_back(Copy.string());
    Args.push_back("--json");
    const Output Doc = RunTool(sio::build::kSioFile, Args);
    ASSERT_EQ(Doc.Exit, 0) << Doc.Out;
    Json Parsed;
    ASSERT_NO_THROW(Parsed = Json::parse(Doc.Out)) << Doc.Out;
    EXPECT_NE(Parsed["image"].get<std::string>().find("caf\\xE9.efi"), std::string::npos);
  }
  const Output Text = RunTool(sio::build::kSioFile, {"image", "check", Copy.string()});
  EXPECT_NE(Text.Out.find("caf\\xE9.efi"), std::string::npos) << Text.Out;
}

} // namespace
