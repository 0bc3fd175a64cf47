// SPDX-License-Identifier: BSD-2-Clause-Patent
// A decoded page's questions against a variable's bytes: each value as Setup
// shows it, and a choice a user makes ("Register 0xF1=0x3C") turned into the
// byte saving it would store.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "hii/HiiDecoder.h"

namespace hii {

// "Enabled"/"Disabled", "0x3C" (or "60" for a decimal numeric), an option's
// text (or "0x07 (no option)" for a value no option holds).
std::string ValueText(const DecodedQuestion& Question, uint8_t Value);

// Value: "Enabled" or "Disabled" (also 1 or 0) for a checkbox; a number in
// range (decimal or 0x...) for a numeric; an option's text or value for a
// one-of. The error names what the question accepts.
sio::Result<uint8_t> ParseChoice(const DecodedQuestion& Question, std::string_view Value);

// "PROMPT=VALUE" applied to Data (the varstore's bytes): the question whose
// prompt is PROMPT gets VALUE at its offset. Fails for no '=', a prompt the
// page lacks, a value the question refuses or an offset outside Data.
sio::Result<void> ApplyChoice(const DecodedPage& Page, std::string_view Choice,
                              std::span<uint8_t> Data);

} // namespace hii
