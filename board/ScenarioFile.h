// SPDX-License-Identifier: BSD-2-Clause-Patent
// Scenario files: a JSON description of the board (chip placement and ID,
// register presets, the setup variable, PEI Foundation faults) read strictly
// into a board::Scenario. Keys left out keep the default scenario's values.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "board/Scenario.h"
#include "common/JsonFields.h"

namespace siotool {

// chip.kind: the Super I/O chip (default) or the stand-in QEMU offers in its
// place (its SB16 mixer: one flat register file, no banks, no keys).
inline constexpr const char* kChipKindSuperIo = "super-io";
inline constexpr const char* kChipKindMixerStandIn = "qemu-sb16-mixer";

// Largest setup variable a scenario may hold (longer than the module's
// 67-byte buffer on purpose, to show the module refusing it).
inline constexpr size_t kMaxScenarioVariableSize = 1024;
// Most data-port reads chip.read_answers may answer in place of the registers
// (a pass reads a few dozen).
inline constexpr size_t kMaxScenarioChipReadAnswers = 256;
// Largest JSON file read (scenarios and variable objects are a few hundred
// bytes), and the deepest nesting of arrays and objects it may have (a
// scenario needs 4). Both are refused before a tree is built.
inline constexpr size_t kMaxJsonFileSize = 64 << 10;
inline constexpr int kMaxJsonDepth = 32;

// An EFI status by name ("EFI_NOT_FOUND") or number ("0x8000000E").
sio::Result<uint32_t> ReadStatus(const Json& Value, const std::string& Field);

// An error (bad input) naming the field for unknown keys, wrong types and
// out-of-range values.
sio::Result<board::Scenario> ParseScenario(const Json& Document);
// Reads and parses a file; malformed JSON is reported with line and column.
// Errors name the file ("x.json: chip.port: ...").
sio::Result<board::Scenario> LoadScenarioFile(const std::string& Path);
sio::Result<Json> ReadJsonFile(const std::string& Path);
// JSON text as ReadJsonFile reads it: malformed text, nesting deeper than
// kMaxJsonDepth and a key given twice in one object are refused.
sio::Result<Json> ParseJson(std::span<const uint8_t> Text);

// The scenario in the same form ParseScenario reads (the variable as bytes).
Json ScenarioToJson(const board::Scenario& Scenario);

// Ports a chip may sit at: index and data port both inside the port space and
// clear of the ports the module accesses itself (its 16-bit POST write to
// 0x80 covers 0x80-0x81; PCI configuration 0xCF8-0xCFB and 0xCFC-0xCFF).
// Returns the reason when Port is not one, or an empty string.
std::string ChipPortProblem(uint64_t Port);

// Why the scenario's PEI Foundation faults cannot all take effect (one of
// them is masked by another, or by the variable's absence), or an empty
// string. Such a scenario is refused rather than run as if they did.
std::string FaultConflict(const board::Scenario& Scenario);

} // namespace siotool
