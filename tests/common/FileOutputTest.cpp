// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/FileOutput.h"
#include "common/BuildPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "common/FileInput.h"

namespace sio {
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
    ASSERT_TRUE(WriteOutputFile(Output.string(), kBytes, "store", false));
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
  const auto Refused = WriteOutputFile(Output.string(), kBytes, "store", false);
  ASSERT_FALSE(Refused) << "an existing output was replaced without being asked to";
  EXPECT_NE(Refused.Message().find("exists (give --force"), std::string::npos);
  EXPECT_EQ(Refused.Kind(), ErrorKind::Refused);
  EXPECT_EQ(Slurp(Output), "old");
  ASSERT_TRUE(WriteOutputFile(Output.string(), kBytes, "store", true));
  EXPECT_EQ(Slurp(Output), "new");
  struct stat St {};
  ASSERT_EQ(::stat(Output.c_str(), &St), 0);
  EXPECT_EQ(St.st_mode & 07777, 0640u);
}

TEST(FileOutput, FailureGivesTheSystemsReason) {
  const fs::path Dir = FreshDir("failure");
  const auto Failed = WriteOutputFile((Dir / "no-such-dir" / "out.fd").string(), kBytes, "store");
  ASSERT_FALSE(Failed) << "wrote into a folder that does not exist";
  const std::string Message = Failed.Message();
  EXPECT_NE(Message.find("out.fd: cannot write the store: "), std::string::npos) << Message;
  EXPECT_NE(Message.find("No such file or directory"), std::string::npos) << Message;
  EXPECT_EQ(Failed.Kind(), ErrorKind::Io);
  EXPECT_TRUE(fs::is_empty(Dir));
}

// What the writer refuses, whatever the caller allows (Overwrite true): a
// name that is not a regular file, and a file read as an input of this run
// under any of its names. Nothing is written, nothing is left in the folder.
TEST(FileOutput, RefusesInputsAndWhatIsNotARegularFile) {
  struct Case {
    const char* Label;
    // Makes what lies at Output (Input is a regular file read as an input);
    // returns the name the writer is given.
    fs::path (*Plant)(const fs::path& Dir, const fs::path& Input);
    const char* Reason;
  } Cases[] = {
      {"a pipe",
       [](const fs::path& Dir, const fs::path&) {
         ::mkfifo((Dir / "out").c_str(), 0644);
         return Dir / "out";
       },
       "exists and is a pipe"},
      {"a socket",
       [](const fs::path& Dir, const fs::path&) {
         int Fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un Address{};
         Address.sun_family = AF_UNIX;
         const std::string Name = (Dir / "out").string();
         std::snprintf(Address.sun_path, sizeof Address.sun_path, "%s", Name.c_str());
         ::bind(Fd, reinterpret_cast<sockaddr*>(&Address), sizeof Address);
         ::close(Fd);
         return Dir / "out";
       },
       "exists and is a socket"},
      {"a link to a regular file",
       [](const fs::path& Dir, const fs::path&) {
         Put(Dir / "target", "target");
         fs::create_symlink(Dir / "target", Dir / "out");
         return Dir / "out";
       },
       "exists and is a symbolic link"},
      {"a dangling link",
       [](const fs::path& Dir, const fs::path&) {
         fs::create_symlink(Dir / "nowhere", Dir / "out");
         return Dir / "out";
       },
       "exists and is a symbolic link"},
      {"a folder",
       [](const fs::path& Dir, const fs::path&) {
         fs::create_directory(Dir / "out");
         return Dir / "out";
       },
       "is a directory"},
      {"the input", [](const fs::path&, const fs::path& Input) { return Input; },
       "is an input of this run"},
      {"the input spelt otherwise",
       [](const fs::path& Dir, const fs::path& Input) {
         fs::create_directory(Dir / "sub");
         return Dir / "sub" / ".." / Input.filename();
       },
       "is an input of this run"},
      {"a hard link to the input",
       [](const fs::path& Dir, const fs::path& Input) {
         fs::create_hard_link(Input, Dir / "out");
         return Dir / "out";
       },
       "is an input of this run"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    const fs::path Dir = FreshDir("refused");
    const fs::path Input = Dir / "in.fd";
    Put(Input, "input");
    (void)ReadInputFile(Input.string(), 100);
    const fs::path Output = C.Plant(Dir, Input);
    std::vector<fs::path> Before;
    for (const auto& Entry : fs::directory_iterator(Dir))
      Before.push_back(Entry.path());
    const auto Refused = WriteOutputFile(Output.string(), kBytes, "store", true);
    ASSERT_FALSE(Refused) << "written";
    EXPECT_NE(Refused.Message().find(C.Reason), std::string::npos) << Refused.Message();
    EXPECT_EQ(Refused.Kind(), ErrorKind::Refused);
    EXPECT_EQ(Slurp(Input), "input");
    std::vector<fs::path> After;
    for (const auto& Entry : fs::directory_iterator(Dir))
      After.push_back(Entry.path());
    std::sort(Before.begin(), Before.end());
    std::sort(After.begin(), After.end());
    EXPECT_EQ(After, Before);
  }
}

// Between the temporary file's writing and its rename: an output that
// appears under a name that was new is left as it is, and a rename that
// fails leaves no temporary file behind.
TEST(FileOutput, WhatHappensBeforeTheRenameIsNeverOverwrittenNorLeftBehind) {
  struct Case {
    const char* Label;
    bool Existed; // the output was a regular file at the check
    void (*Meanwhile)(const fs::path& Output);
    const char* Reason;
  } Cases[] = {
      {"a file appears under the new name", false,
       [](const fs::path& Output) { Put(Output, "theirs"); }, "appeared while the store"},
      {"a folder appears under the new name", false,
       [](const fs::path& Output) { fs::create_directory(Output); }, "appeared while the store"},
      {"the replaced file becomes a folder", true,
       [](const fs::path& Output) {
         fs::remove(Output);
         fs::create_directory(Output);
         Put(Output / "kept", "theirs");
       },
       "cannot write the store: "},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Label);
    const fs::path Dir = FreshDir("race");
    const fs::path Output = Dir / "out.fd";
    if (C.Existed)
      Put(Output, "old");
    bool Called = false;
    const auto Refused =
        WriteOutputFile(Output.string(), kBytes, "store", true, [&](const std::string& Temporary) {
          EXPECT_TRUE(fs::exists(Temporary));
          Called = true;
          C.Meanwhile(Output);
        });
    ASSERT_FALSE(Refused) << "written over what appeared";
    EXPECT_NE(Refused.Message().find(C.Reason), std::string::npos) << Refused.Message();
    EXPECT_TRUE(Called);
    if (fs::is_directory(Output)) {
      EXPECT_FALSE(fs::exists(Output / "out.fd"));
    } else {
      EXPECT_EQ(Slurp(Output), "theirs");
    }
    // Only what appeared is in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 1);
  }
}

} // namespace
} // namespace sio
