// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs one of the built programs as a user would, in a folder of the test's
// choosing, and hands back its exit code, stdout and stderr.
#pragma once

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace test {

struct Ended {
  int ExitCode = -1; // 128 + the signal that ended it
  std::string Stdout;
  std::string Stderr;
};

inline std::string Slurp(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

// Args[0] is the program's path. Its output goes through files beside Folder
// (Folder itself holds only what the program leaves).
inline Ended RunProgram(const std::vector<std::string>& Args, const std::filesystem::path& Folder) {
  const std::filesystem::path Out = Folder.string() + ".stdout", Err = Folder.string() + ".stderr";
  std::vector<char*> Argv;
  for (const auto& Arg : Args)
    Argv.push_back(const_cast<char*>(Arg.c_str()));
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 1, Out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&Actions, 2, Err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&Actions, Folder.c_str());
  pid_t Child = 0;
  const int Spawned = posix_spawn(&Child, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Spawned != 0)
    return {-1, "", "cannot start " + Args[0]};
  int Status = 0;
  waitpid(Child, &Status, 0);
  Ended Done{WIFEXITED(Status) ? WEXITSTATUS(Status) : 128 + WTERMSIG(Status), Slurp(Out),
             Slurp(Err)};
  std::filesystem::remove(Out);
  std::filesystem::remove(Err);
  return Done;
}

} // namespace test
