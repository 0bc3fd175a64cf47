// SPDX-License-Identifier: BSD-2-Clause-Patent
// The simulated platform one pass runs on: I/O bus with the POST code port,
// the LPC bridge and (optionally) the Super I/O chip, and the PEI Foundation
// model with its variable store. Built from a scenario; yields a PassResult.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>

#include "board/IoBus.h"
#include "board/LpcBridge.h"
#include "board/MixerStandIn.h"
#include "board/PeiFoundation.h"
#include "board/PostCodePort.h"
#include "board/Scenario.h"
#include "board/SuperIoChip.h"

namespace board {

struct ChipState {
  uint16_t IndexPort = 0;
  bool InConfigMode = false;
  std::array<uint8_t, 0x30> Global{};
  // Full register view (0x00-0xFF) of each logical device the pass touched or
  // the scenario preset.
  std::map<uint8_t, std::array<uint8_t, 256>> Devices;
  // The stand-in's one flat register file (Global and Devices stay empty).
  std::optional<std::array<uint8_t, 256>> Flat;
  bool operator==(const ChipState&) const = default;
};

// A PPI the module installed, as its InstallPpi call recorded it.
using InstalledPpi = pi::PpiRecord;

struct PassResult {
  uint32_t Status = 0; // as the IA-32 module returns it
  pi::Trace Events;
  std::vector<InstalledPpi> Ppis;
  std::optional<ChipState> Chip;
  std::array<uint8_t, 4> LpcBridgeDecode{}; // bridge registers 0x80-0x83
  std::vector<uint32_t> PostCodes;
};

class Board {
public:
  explicit Board(const Scenario& Scenario);
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // Makes this the board a new Board(Scenario) would be, keeping the storage
  // (trace capacity, register banks, PPI lists, variable store) of the passes
  // before, so that one board can run pass after pass without allocating.
  void Reset(const Scenario& Scenario);

  IoBus& Bus() { return Bus_; }
  PeiFoundation& Pei() { return Pei_; }
  SuperIoChip* Chip() { return ChipPresent_ ? Chip_.get() : nullptr; }
  MixerStandIn* StandIn() { return StandInPresent_ ? StandIn_.get() : nullptr; }
  LpcBridge& Bridge() { return Bridge_; }
  PostCodePort& PostCodes() { return Post_; }
  const pi::Trace& Events() const { return Log_; }

  // The outcome of the pass that just ran, given the status it returned.
  PassResult Result(uint32_t Status) const;

private:
  Scenario Scenario_;
  pi::Trace Log_;
  IoBus Bus_;
  PostCodePort Post_;
  LpcBridge Bridge_;
  // Kept across resets to a board without a chip, so its banks stay allocated.
  std::unique_ptr<SuperIoChip> Chip_;
  bool ChipPresent_ = false;
  std::unique_ptr<MixerStandIn> StandIn_;
  bool StandInPresent_ = false;
  PeiFoundation Pei_;
  size_t ChipReadsAnswered_ = 0;
};

} // namespace board
