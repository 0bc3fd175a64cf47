// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs the module image (PE32 for IA-32, or PE32+ for X64, each in its own
// processor mode) in a CPU emulator on a simulated board:
// the shipped bytes, loaded as the PEI Foundation would load them, with their
// port instructions routed to the board and their service calls to the board's
// PEI Foundation model.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "board/Board.h"
#include "emulator/GuestLayout.h"
#include "emulator/ServiceTraps.h"
#include "pi/Status.h"

namespace emulator {

struct ImageRunOptions {
  // Where the image is placed; nullopt: its link address (no relocation).
  std::optional<uint32_t> LoadAddress;
  // A run that executes more instructions than this ends as a runaway.
  uint64_t MaxInstructions = 1'000'000;
  // Bytes of read-write stack above the unmapped guard page.
  uint32_t StackSize = 0x10000;
  // Rehearse the run in a child process first, so that an image on which the
  // CPU emulator itself aborts ends as a fault report instead of taking the
  // caller down.
  bool Rehearse = true;
  // A run that has not finished after this long has hung inside one
  // instruction stream the instruction bound cannot see; it ends as a fault.
  // 0: no wall-clock limit. Unicorn times a run with a thread of its own,
  // which costs more than a whole pass: an engine reused for many short
  // passes (a benchmark, a fuzzer) may leave the limit to MaxInstructions.
  uint64_t TimeoutMicroseconds = 20'000'000;
};

// The status a run that ended abnormally reports (EFI_ABORTED), so that a
// faulted run never reads as a success.
inline constexpr uint32_t kAbortedStatus = pi::kEfiAborted;

struct ImageRunReport {
  // Status, trace, installed PPIs and chip state, as the host engine reports them;
  // Status is kAbortedStatus when the run did not complete.
  board::PassResult Result;
  // False when the run ended abnormally; Fault then says why, in one line
  // (e.g. "write to image at 0xFFFC0410", "runaway: 1000000 instructions").
  bool Completed = false;
  std::string Fault;
  uint64_t Instructions = 0;                // executed by the image, service traps included
  uint32_t StackHighWater = 0;              // deepest stack use in bytes below the entry ESP or RSP
  uint32_t LoadAddress = 0;                 // where the image was placed (0 if it never loaded)
  ProcessorMode Mode = ProcessorMode::Ia32; // the mode the image ran in, told by its machine
};

// Makes the services an image is called from and calls, on an emulator
// started in Mode with its stack writable through Memory.
using TrapsFactory = std::function<std::unique_ptr<ServiceTraps>(uc_engine* Uc, ProcessorMode Mode,
                                                                 GuestMemory& Memory)>;

// Loads Image and calls its entry point once on a board built from Scenario.
// Never throws for a bad image: a malformed file ends as a fault report.
ImageRunReport RunImagePass(const std::vector<uint8_t>& Image, const board::Scenario& Scenario,
                            const ImageRunOptions& Options = {});

// The same with the services Traps makes (rehearsed with a second set from
// Traps when Options.Rehearse): how a DXE driver runs (emulator/DxeRun.h).
ImageRunReport RunImageWith(const std::vector<uint8_t>& Image, const board::Scenario& Scenario,
                            const TrapsFactory& Traps, const ImageRunOptions& Options = {});

// A loaded image that runs pass after pass on one emulator: each pass gets a
// fresh board from its scenario, and the processor's registers and the stack
// are put back between passes, so every pass starts as on a new engine
// without the cost of building one. Runs are not rehearsed (Options.Rehearse
// is not used): meant for an image that RunImagePass has run, such as the
// shipped one, timed or run many times over.
class ImageEngine {
public:
  explicit ImageEngine(std::vector<uint8_t> Image, const ImageRunOptions& Options = {});
  ~ImageEngine();
  ImageEngine(const ImageEngine&) = delete;
  ImageEngine& operator=(const ImageEngine&) = delete;

  // Why the image could not be loaded; empty when it was. Every Run then
  // reports this fault.
  const std::string& Error() const;
  bool Ready() const { return Error().empty(); }
  ImageRunReport Run(const board::Scenario& Scenario);

private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

} // namespace emulator
