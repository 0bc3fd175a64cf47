// SPDX-License-Identifier: BSD-2-Clause-Patent
// The rules every `sio` option follows, whichever command it belongs to:
// an option is given when it appears, and a value given is never empty
// (`--scenario ""` is refused, not taken for the default); a number is
// decimal or 0x-prefixed hex (sio::ParseNumber), so "010" is ten.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>

namespace siotool {

// Refuses an empty value on every option of App and its subcommands that
// takes one (flags take none). Call it once every command is added.
void RefuseEmptyValues(CLI::App& App);

// The validator an option read into an integer carries, ahead of any other:
// it reads the text by the one number rule, refuses it outside Min..Max, and
// hands CLI11 the decimal digits.
CLI::Validator DecimalOrHex(uint64_t Min, uint64_t Max);
inline constexpr const char* kNumberValidatorName = "DECIMAL_OR_HEX";

} // namespace siotool
