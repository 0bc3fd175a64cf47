// SPDX-License-Identifier: BSD-2-Clause-Patent
// The two ways `sio` runs a pass: the real image in the CPU emulator, or the
// host build of the same sources. Both yield the same kind of result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "board/Board.h"
#include "chip/ImageBoardValues.h"
#include "emulator/GuestLayout.h"

namespace siotool {

enum class EngineKind { Image, Host };

struct EngineRun {
  EngineKind Engine = EngineKind::Host;
  board::PassResult Result;
  // The board values the pass ran with: the image's (the host build is given
  // the same record).
  chip::BoardValues Config = chip::DefaultBoardValues();
  // False when the image's run ended abnormally; Fault says why in one line.
  bool Completed = true;
  std::string Fault;
  // Image runs only.
  std::optional<size_t> ImageSize;
  std::optional<emulator::ProcessorMode> Mode; // told by the image's machine
  std::optional<uint64_t> Instructions;
  std::optional<uint32_t> StackHighWater;
  std::optional<uint32_t> LoadAddress;
  // The image's link address, when it was moved from there to LoadAddress
  // through its relocations (no flash lies at its link address). An X64
  // image may be linked above 4 GiB.
  std::optional<uint64_t> MovedFrom;
};

// Largest module image read (the real one is a few KiB).
inline constexpr size_t kMaxImageFileSize = 16 << 20;

inline constexpr EngineKind kDefaultEngine = EngineKind::Image;

const char* EngineName(EngineKind Engine);
// The module image this build produced.
std::string DefaultImagePath();

// The board values of the module image at Path, read and checked as RunPass
// reads them. Throws InputError ("--image: PATH: ...") as RunPass does.
chip::BoardValues ReadImageBoardValues(const std::string& Path);

// Runs one pass. The host build runs with the board values of the image at
// ImagePath (with none, the built-in ones), so both engines follow the same
// image. Throws InputError when the image file cannot be read, is no valid
// module image (pe::ValidatePe32Image), is not this build's, or cannot be
// loaded; an image linked where the board has no flash for it is loaded at the
// module's flash address through its relocations, or refused when it has none.
// A run the emulator has to stop is reported as a faulted run.
EngineRun RunPass(EngineKind Engine, const board::Scenario& Config, const std::string& ImagePath);

} // namespace siotool
