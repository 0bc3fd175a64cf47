// SPDX-License-Identifier: BSD-2-Clause-Patent
// Port accesses as QEMU's memory_region_ops_read/write trace events record
// them, and the module's own accesses picked out of the firmware's traffic.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "chip/BoardValues.h"
#include "pi/Trace.h"

namespace ovmf {

// One trace line as a port access (address below 0x10000), or nullopt for
// any other line. Reads of a port no device claims carry all ones; the value
// is cut to the access size.
std::optional<pi::TraceEvent> ParsePortAccess(std::string_view Line);

// The module's runs in a boot's port accesses, for an image with the board
// values Board. A run starts with its progress code as QEMU's one-byte port
// 0x80 device sees it (0x70 to 0x80, then 0x00 to 0x81, by default) and goes
// on while the accesses stay on the module's ports: the progress code port,
// PCI configuration address/data, and the index/data pairs of the Super I/O
// ports it probes, PCI configuration only before the
// first Super I/O access (the module opens LPC decoding first; later cycles
// are the firmware's own). One dispatch gives one run.
std::vector<pi::Trace> ModuleRuns(const std::vector<pi::TraceEvent>& Ports,
                                  const chip::BoardValues& Board = chip::DefaultBoardValues());

// A trace of port accesses as QEMU records them: a write wider than a byte to
// port 0x80 lands as byte writes to 0x80, 0x81, ... Service calls are dropped.
pi::Trace AsQemuSeesIt(const pi::Trace& Events);

// The reverse, for showing a run in the module's own terms: a byte write to
// 0x80 followed at once by one to 0x81 becomes the 16-bit write it came from.
pi::Trace AsTheModuleWroteIt(const pi::Trace& Events);

} // namespace ovmf
