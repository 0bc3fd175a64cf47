// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio ovmf`'s report, as a user gets it: the patched images no option names
// live in a temporary folder that is gone when the command ends, and the
// report says so; -o and --vars-output keep them. The text and the JSON
// document tell the same facts.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/BuildPaths.h"
#include "tests/support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

fs::path FreshFolder(const char* Name) {
  const fs::path Folder = fs::path(sio::build::kTestWorkDir) / "ovmf_report" / Name;
  fs::remove_all(Folder);
  fs::create_directories(Folder);
  return Folder;
}

test::Ended Ovmf(const fs::path& Folder, std::vector<std::string> Args) {
  Args.insert(Args.begin(), {sio::build::kSioFile, "ovmf", "--no-boot"});
  return test::RunProgram(Args, Folder);
}

TEST(OvmfReport, UnnamedOutputsGoToATemporaryFolderRemovedAtExit) {
  const fs::path Folder = FreshFolder("unnamed");
  const auto Done = Ovmf(Folder, {"--json", "--entry", "kind=0x12,enabled=1"});
  ASSERT_EQ(Done.ExitCode, 0) << Done.Stderr;
  const Json Doc = Json::parse(Done.Stdout);
  ASSERT_TRUE(Doc["temporary_folder"].is_string()) << Doc.dump(2);
  const std::string Temporary = Doc["temporary_folder"];
  EXPECT_FALSE(Doc["output"]["kept"].get<bool>());
  EXPECT_FALSE(Doc["vars"]["kept"].get<bool>());
  EXPECT_EQ(Doc["output"]["path"].get<std::string>().rfind(Temporary + "/", 0), 0u);
  EXPECT_EQ(Doc["vars"]["booted"].get<std::string>().rfind(Temporary + "/", 0), 0u);
  EXPECT_EQ(Doc["setup"]["bytes"], 67);
  EXPECT_FALSE(fs::exists(Temporary)) << "the temporary folder outlived the command";
  EXPECT_TRUE(fs::is_empty(Folder)) << "a file was left in the current folder";

  const auto Text = Ovmf(Folder, {"--entry", "kind=0x12,enabled=1"});
  ASSERT_EQ(Text.ExitCode, 0) << Text.Stderr;
  EXPECT_NE(Text.Stdout.find(" (in a temporary folder, removed at exit; -o keeps it)\n"),
            std::string::npos)
      << Text.Stdout;
  EXPECT_NE(Text.Stdout.find(" (in a temporary folder, removed at exit; --vars-output keeps it)\n"),
            std::string::npos)
      << Text.Stdout;
  EXPECT_TRUE(fs::is_empty(Folder));
}

TEST(OvmfReport, NamedOutputsAreKeptAndTextAndJsonAgree) {
  const fs::path Folder = FreshFolder("named");
  const auto Done = Ovmf(Folder, {"--json", "-o", "kept.fd"});
  ASSERT_EQ(Done.ExitCode, 0) << Done.Stderr;
  const Json Doc = Json::parse(Done.Stdout);
  EXPECT_TRUE(Doc["temporary_folder"].is_null()) << Doc.dump(2);
  EXPECT_TRUE(Doc["output"]["kept"].get<bool>());
  EXPECT_EQ(Doc["output"]["path"], "kept.fd");
  EXPECT_TRUE(fs::is_regular_file(Folder / "kept.fd"));
  EXPECT_TRUE(Doc["setup"].is_null());

  const auto Text = Ovmf(Folder, {"-o", "kept-too.fd"});
  ASSERT_EQ(Text.ExitCode, 0) << Text.Stderr;
  EXPECT_TRUE(fs::is_regular_file(Folder / "kept-too.fd"));
  const std::string Firmware = Doc["firmware"]["path"];
  for (const std::string& Line :
       {"Firmware:  " + Firmware + ": PEI " + Doc["firmware"]["pei"].get<std::string>() + ", DXE " +
            Doc["firmware"]["dxe"].get<std::string>() + ", ",
        std::string("Wrote:     kept-too.fd\n"),
        "QEMU:      " + Doc["qemu"]["path"].get<std::string>(),
        "Image:     " + Doc["module"]["source"].get<std::string>() + " ("}) {
    EXPECT_NE(Text.Stdout.find(Line), std::string::npos) << Line << "\n" << Text.Stdout;
  }
}

} // namespace
