// Runs the module image (PE32, IA-32) in a CPU emulator on a simulated board:
// the shipped bytes, loaded as the PEI Foundation would load them, with their
// port instructions routed to the board and their service calls to the board's
// PEI Foundation model.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "board/Board.h"

namespace emulator {

struct ImageRunOptions {
  // Where the image is placed; nullopt: its link address (no relocation).
  std::optional<uint32_t> LoadAddress;
  // A run that executes more instructions than this ends as a runaway.
  uint64_t MaxInstructions = 1'000'000;
};

struct ImageRunReport {
  // Status, trace, installed PPIs and chip state, as the host engine reports them.
  board::PassResult Result;
  // False when the run ended abnormally; Fault then says why, in one line
  // (e.g. "write to image at 0xFFFC0410", "runaway: 1000000 instructions").
  bool Completed = false;
  std::string Fault;
  uint64_t Instructions = 0;    // executed by the image, service traps included
  uint32_t StackHighWater = 0;  // deepest stack use in bytes below the entry ESP
};

// Loads Image and calls its entry point once on a board built from Config.
// Never throws for a bad image: a malformed file ends as a fault report.
ImageRunReport RunImagePass(const std::vector<uint8_t>& Image, const board::Scenario& Config,
                            const ImageRunOptions& Options = {});

} // namespace emulator
