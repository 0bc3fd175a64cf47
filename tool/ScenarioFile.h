// Scenario files: a JSON description of the board (chip placement and ID,
// register presets, the setup variable, PEI Foundation faults) read strictly
// into a board::Scenario. Keys left out keep the default scenario's values.
#pragma once

#include <string>

#include "board/Scenario.h"
#include "tool/JsonFields.h"

namespace siotool {

// chip.kind: the Super I/O chip (default) or the stand-in QEMU offers in its
// place (its SB16 mixer: one flat register file, no banks, no keys).
inline constexpr const char* kChipKindSuperIo = "super-io";
inline constexpr const char* kChipKindMixerStandIn = "qemu-sb16-mixer";

// Largest setup variable a scenario may hold (longer than the module's
// 67-byte buffer on purpose, to show the module refusing it).
inline constexpr size_t kMaxScenarioVariableSize = 1024;
// Largest JSON file read (scenarios and variable objects are a few hundred bytes).
inline constexpr size_t kMaxJsonFileSize = 1 << 20;

// Throws InputError naming the field for unknown keys, wrong types and
// out-of-range values.
board::Scenario ParseScenario(const Json& Document);
// Reads and parses a file; malformed JSON is reported with line and column.
board::Scenario LoadScenarioFile(const std::string& Path);
Json ReadJsonFile(const std::string& Path);

// The scenario in the same form ParseScenario reads (the variable as bytes).
Json ScenarioToJson(const board::Scenario& Config);

// Ports a chip may sit at: index and data port both inside the port space and
// clear of the board's own devices (POST port 0x80, PCI ports 0xCF8-0xCFF).
// Returns the reason when Port is not one, or an empty string.
std::string ChipPortProblem(uint64_t Port);

} // namespace siotool
