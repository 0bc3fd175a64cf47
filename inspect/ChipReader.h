// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reading the chip's configuration registers the way the module talks to it:
// the module's own discovery (or one probe of a given port), then, for the
// chip that identified itself only: index writes, data reads and the
// logical-device select; register 0x07 put back to the value found; the exit
// key. No other data register is ever written, and a port where no chip
// identified itself sees nothing beyond the probe and the exit key.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chip/BoardValues.h"
#include "inspect/PortAccess.h"
#include "inspect/RegisterSet.h"
#include "inspect/SignalHold.h"
#include "pi/Trace.h"

namespace inspect {

struct InspectOptions {
  std::optional<uint16_t> Port; // probe only this index port
  bool All = false;             // every register of devices 0x00-0x0F (AllRegisters)
  // The module's board values: the ports its discovery probes and the
  // registers its script writes (an image's, or the built-in ones).
  chip::BoardValues Board = chip::DefaultBoardValues();
};

struct ChipReading {
  uint16_t IndexPort = 0;
  std::vector<uint16_t> PortsProbed; // in order, the chip's port last
  uint8_t SelectedBefore = 0;        // register 0x07 as found
  uint8_t SelectedAfter = 0;         // register 0x07 read back after putting it back
  std::vector<std::pair<RegisterKey, uint8_t>> Values;
  pi::Trace Accesses; // every port access made, in order

  std::optional<uint8_t> Value(const RegisterKey& Key) const;
  bool Restored() const { return SelectedAfter == SelectedBefore; }
};

// The chip ID the module looks for (from its device table).
uint8_t ExpectedChipIdHigh();
uint8_t ExpectedChipIdLow();
// The index port the module given Board probes first; 0 when it probes none.
uint16_t ModuleFirstPort(const chip::BoardValues& Board = chip::DefaultBoardValues());
// The index ports the discovery of the module given Board probes, in its
// order (one may come twice); the same, each once.
std::vector<uint16_t> ModuleProbeOrder(const chip::BoardValues& Board = chip::DefaultBoardValues());
std::vector<uint16_t> ModuleIndexPorts(const chip::BoardValues& Board = chip::DefaultBoardValues());

// What to tell the operator before the discovery probes several ports of a
// live machine through Device; empty when Options name one port or the
// module's board values name only one.
std::string LiveProbeNotice(const InspectOptions& Options, const std::string& Device);

// Fails when an access fails, when a signal of Hold arrives, or when no chip
// identifies itself (the message names the ports probed). Once the enter
// keys are written at a port, every way out of the reading (a failed access,
// a held signal, an exception thrown by Ports or by the reading itself) first
// puts register 0x07 back to the value read there (when it was read) and
// writes the exit key, each of these accesses made once whatever happens; the
// error says what was put back, an exception is thrown on afterwards.
sio::Result<ChipReading> InspectChip(PortAccess& Ports, const InspectOptions& Options,
                                     const SignalHold* Hold = nullptr);

// The accesses InspectChip would make, one line each with its meaning; makes
// none. The reading part is shown for the port probed first.
std::vector<std::string> PlanInspection(const InspectOptions& Options);

} // namespace inspect
