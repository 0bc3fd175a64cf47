// SPDX-License-Identifier: BSD-2-Clause-Patent
// Decodes a pass's trace into the chip's own terms: POST code, the PCI
// configuration write to the LPC bridge register by register, and the Super
// I/O configuration protocol (enter key, exit key, select logical device N,
// write register R = V, read register R -> V) with each register's meaning.
// The protocol state of each candidate index port is followed by the shared
// configuration-port decoder (chip/ConfigPortDecoder.h), so a data-port access
// knows which register of which logical device it hits; service calls are
// worded from their recorded fields.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "chip/ConfigPortDecoder.h"
#include "pi/Trace.h"

namespace chip {

struct DecodedEvent {
  size_t Index = 0;
  std::string Access;  // the raw event, e.g. "out8 0x004E <- 0x77"
  std::string Meaning; // e.g. "enter key (1 of 2)"
};

class TraceDecoder {
public:
  // Follows the chip at the usual candidate ports, or at IndexPorts (the ports
  // the image that made the trace probes).
  TraceDecoder() = default;
  explicit TraceDecoder(const std::vector<uint16_t>& IndexPorts) : Ports_(IndexPorts) {}

  // Meaning of the next event of the trace; events must come in trace order.
  std::string Decode(const pi::TraceEvent& Event);

private:
  using KnownValues = std::map<std::pair<uint8_t, uint8_t>, uint8_t>; // (device, register) -> value

  std::string ChipAccess(const chip::PortAccess& Access, const pi::TraceEvent& Event);
  std::string PciAccess(const pi::TraceEvent& Event);
  std::string ServiceCall(const pi::TraceEvent& Event) const;

  chip::ConfigPortDecoder Ports_;
  std::map<uint16_t, KnownValues> Known_; // by index port: register values seen
  uint32_t ConfigAddress_ = 0;
};

// IndexPorts: the ports the image that made the trace probes (empty: the
// usual candidate ports).
std::vector<DecodedEvent> DecodeTrace(const pi::Trace& Events,
                                      const std::vector<uint16_t>& IndexPorts = {});

} // namespace chip
