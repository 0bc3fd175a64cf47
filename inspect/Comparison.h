// SPDX-License-Identifier: BSD-2-Clause-Patent
// The registers read compared with the expected state, one mark each: match,
// differs (with the likely reasons), or not checked (nothing expected of it).
#pragma once

#include <string>
#include <vector>

#include "inspect/ChipReader.h"
#include "inspect/Expectation.h"

namespace inspect {

enum class Mark { Match, Differs, Unchecked };

struct RegisterCheck {
  RegisterKey Key;
  uint8_t Read = 0;
  Expected Want;
  Mark Result = Mark::Unchecked;
  std::string Reasons; // for a difference: why the register likely reads otherwise
};

struct Comparison {
  std::vector<RegisterCheck> Checks; // in reading order
  size_t Matched = 0, Differing = 0, Unchecked = 0;
  bool HasDifference() const { return Differing != 0; }
};

// Expect nullptr: nothing expected, every register unchecked.
Comparison Compare(const ChipReading& Reading, const Expectation* Expect);

// "match", "differs", "unchecked" (JSON) and the short text mark.
const char* MarkName(Mark M);
const char* MarkText(Mark M);

} // namespace inspect
