// SPDX-License-Identifier: BSD-2-Clause-Patent
// An inspection's options and run, set up on a CLI11 app: `sio inspect`
// (tool/InspectCommand.cpp) and `sio-inspect` (SioInspect.cpp) are the same
// command. The callback sets
// ExitCode (0 as expected, 1 a difference) and throws siotool::InputError for
// a usage or access error (exit code 2).
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

#include "chip/BoardValues.h"

namespace inspect {

// The board values of the module image at a path; throws
// siotool::InputError when it is no image of this build's module.
using ImageBoardReader = std::function<chip::BoardValues(const std::string& Path)>;

// With ReadImage, the command takes --image IMAGE: the discovery, the
// registers read, the simulated board's pass and the expectation then follow
// that image's board values instead of the built-in ones. (`sio-inspect`
// links no reader of module images, and has no --image.)
void AddInspection(CLI::App& Command, int& ExitCode, ImageBoardReader ReadImage = {});

} // namespace inspect
