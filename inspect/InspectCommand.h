// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio inspect` and `sio-inspect`: one command, set up on a CLI11 app (a
// subcommand of `sio`, or the whole of `sio-inspect`). The callback sets
// ExitCode (0 as expected, 1 a difference) and throws siotool::InputError for
// a usage or access error (exit code 2).
#pragma once

#include <CLI/CLI.hpp>

namespace inspect {

void AddInspectCommand(CLI::App& Command, int& ExitCode);

} // namespace inspect
