// Runs a piece of work in a forked child process, so that a library that
// aborts the process on input it cannot handle (Unicorn does, on some
// instruction streams) takes down only the child.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace emulator {

// Runs Work in a child. Returns nullopt when it returned normally, otherwise
// one line on how the child ended (e.g. "killed by signal 6 (Aborted)").
std::optional<std::string> FailsInChild(const std::function<void()>& Work);

} // namespace emulator
