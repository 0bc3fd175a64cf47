// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one way the programs (`sio`, `sio-inspect`) end: the command's exit
// code (0 done, 1 a difference or failed check), or its error reported as the
// one line "sio: error: MESSAGE" on stderr with the exit code the error's
// kind calls for (sio::ExitCodeFor: 1 failed, 2 bad input, refused or I/O). A
// usage error CLI11 finds is bad input. An error a held signal caused ends
// the process by that signal, after the line. Nothing is thrown past main:
// anything else thrown is reported as an internal error (exit code 2).
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

#include "common/Result.h"

namespace sio {

// Parses argv into App and runs the command it names: ParseAndRun calls
// App.parse(argc, argv) and gives back the command's exit code or error.
int RunMain(CLI::App& App, int argc, char** argv, const std::function<Result<int>()>& ParseAndRun);

// Ends the process by Signal with its default action, so that the parent
// sees what it sent (a shell shows 128 + Signal); returns that status only if
// the signal did not end it.
int EndBySignal(int Signal);

} // namespace sio
