// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs a piece of work in a forked child process, so that a library that
// aborts the process on input it cannot handle (Unicorn does, on some
// instruction streams) takes down only the child.
#pragma once

#include <functional>

#include "common/Result.h"

namespace emulator {

// Runs Work in a child. Succeeds when it returned normally; otherwise the
// error says how the child ended (e.g. "killed by signal 6 (Aborted)").
sio::Result<void> RunInChild(const std::function<void()>& Work);

} // namespace emulator
