// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/FileOutput.h"
#include "common/BuildPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

#include "common/InputError.h"

namespace siotool {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

void Put(const fs::path& Path, const std::string& Text) {
  std::ofstream(Path, std::ios::binary) << Text;
}

fs::path FreshDir(const char* Name) {
  fs::path Dir = fs::path(sio::build::kTestWorkDir) / "file_output" / Name;
  fs::remove_all(Dir);
  fs::create_directories(Dir);
  return Dir;
}

const std::vector<uint8_t> kBytes = {'n', 'e', 'w'};

// Whatever lies under the name a fixed temporary file would have had (a file,
// a link to the input, an empty folder) stays as it was; the output is written
// and nothing else is left in the folder.
TEST(FileOutput, LeavesEverythingButTheOutputAlone) {
  struct Case {
    const char* Label;
    void (*Plant)(const fs::path& Part, const fs::path& Input);
  } Cases[] = {
      {"file", [](const fs::path& Part, const fs::path&) { Put(Part, "keep"); }},
      {"link to the input",
       [](const fs::path& Part, const fs::path& Input) { fs::create_symlink(Input, Part); }},
      {"empty folder", [](const fs::path& Part, const fs::path&) { fs::create_directory(Part); }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    const fs::path Dir = FreshDir("planted");
    const fs::path Input = Dir / "in.fd", Output = Dir / "out.fd", Part = Dir / "out.fd.part";
    Put(Input, "input");
    C.Plant(Part, Input);
    WriteOutputFile(Output.string(), kBytes, "store", false);
    EXPECT_EQ(Slurp(Output), "new");
    EXPECT_EQ(Slurp(Input), "input");
    if (fs::is_symlink(Part)) {
      EXPECT_EQ(fs::read_symlink(Part), Input);
    } else if (fs::is_directory(Part)) {
      EXPECT_TRUE(fs::is_empty(Part));
    } else {
      EXPECT_EQ(Slurp(Part), "keep");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 3);
  }
}

TEST(FileOutput, ReplacingKeepsThePermissionBitsAndRefusingKeepsTheFile) {
  const fs::path Dir = FreshDir("replace");
  const fs::path Output = Dir / "out.fd";
  Put(Output, "old");
  ::chmod(Output.c_str(), 0640);
  try {
    WriteOutputFile(Output.string(), kBytes, "store", false);
    ADD_FAILURE() << "an existing output was replaced without being asked to";
  } catch (const InputError& Error) {
    EXPECT_NE(std::string(Error.what()).find("exists (give --force"), std::string::npos);
  }
  EXPECT_EQ(Slurp(Output), "old");
  WriteOutputFile(Output.string(), kBytes, "store", true);
  EXPECT_EQ(Slurp(Output), "new");
  struct stat St {};
  ASSERT_EQ(::stat(Output.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0640u);
}

TEST(FileOutput, FailureGivesTheSystemsReason) {
  const fs::path Dir = FreshDir("failure");
  try {
    WriteOutputFile((Dir / "no-such-dir" / "out.fd").string(), kBytes, "store");
    ADD_FAILURE() << "wrote into a folder that does not exist";
  } catch (const InputError& Error) {
    const std::string Message = Error.what();
    EXPECT_NE(Message.find("out.fd: cannot write the store: "), std::string::npos) << Message;
    EXPECT_NE(Message.find("No such file or directory"), std::string::npos) << Message;
  }
  EXPECT_TRUE(fs::is_empty(Dir));
}

} // namespace
} // namespace siotool
