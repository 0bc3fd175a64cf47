// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/ChildProcess.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace emulator {

sio::Result<void> RunInChild(const std::function<void()>& Work) {
  std::fflush(nullptr);
  pid_t Child = fork();
  if (Child < 0)
    return sio::Fail(sio::ErrorKind::Io, std::string("cannot fork: ") + std::strerror(errno));
  if (Child == 0) {
    Work();
    _exit(0);
  }
  int Status = 0;
  while (waitpid(Child, &Status, 0) < 0) {
    if (errno != EINTR)
      return sio::Fail(sio::ErrorKind::Io,
                       std::string("cannot wait for the child: ") + std::strerror(errno));
  }
  if (WIFEXITED(Status) && WEXITSTATUS(Status) == 0)
    return {};
  if (WIFSIGNALED(Status)) {
    return sio::Fail(sio::ErrorKind::Failed, "killed by signal " +
                                                 std::to_string(WTERMSIG(Status)) + " (" +
                                                 strsignal(WTERMSIG(Status)) + ")");
  }
  return sio::Fail(sio::ErrorKind::Failed,
                   "exited with status " + std::to_string(WEXITSTATUS(Status)));
}

} // namespace emulator
