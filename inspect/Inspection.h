// SPDX-License-Identifier: BSD-2-Clause-Patent
// An inspection's options and run, set up on a CLI11 app: `sio inspect`
// (tool/InspectCommand.cpp) and `sio-inspect` (SioInspect.cpp) are the same
// command. Its callback hands the outcome to Done: the exit code (0 as
// expected, 1 a difference) or the error that stopped it (the kind says
// which exit code: a chip that did not answer is a failed check, a port
// device that cannot be used or a bad option is bad input or I/O; an error a
// held signal interrupted carries the signal).
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

#include "chip/BoardValues.h"
#include "common/Result.h"

namespace inspect {

// The board values of the module image at a path; an error when it is no
// image of this build's module.
using ImageBoardReader = std::function<sio::Result<chip::BoardValues>(const std::string& Path)>;
using InspectionDone = std::function<void(sio::Result<int> Outcome)>;

// With ReadImage, the command takes --image IMAGE: the discovery, the
// registers read, the simulated board's pass and the expectation then follow
// that image's board values instead of the built-in ones. (`sio-inspect`
// links no reader of module images, and has no --image.)
void AddInspection(CLI::App& Command, InspectionDone Done, ImageBoardReader ReadImage = {});

} // namespace inspect
