// Decodes a pass's trace into the chip's own terms: POST code, the PCI
// configuration write to the LPC bridge register by register, and the Super
// I/O configuration protocol (enter key, exit key, select logical device N,
// write register R = V, read register R -> V) with each register's meaning.
// The decoder follows the protocol state of each candidate index port, so a
// data-port access knows which register of which logical device it hits.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "board/Trace.h"

namespace siotool {

struct DecodedEvent {
  size_t Index = 0;
  std::string Access;  // the raw event, e.g. "out8 0x004E <- 0x77"
  std::string Meaning; // e.g. "enter key (1 of 2)"
};

class TraceDecoder {
public:
  // Meaning of the next event of the trace; events must come in trace order.
  std::string Decode(const board::TraceEvent& Event);

private:
  struct ChipPort {
    bool EnterKeySeen = false;
    bool ConfigMode = false;
    std::optional<uint8_t> Index;
    uint8_t Device = 0;
    std::optional<uint8_t> LastRead; // set while the last access was a data-port read
    std::map<std::pair<uint8_t, uint8_t>, uint8_t> Known; // (device, register) -> value seen
  };

  std::string IndexPortAccess(ChipPort& Chip, const board::TraceEvent& Event);
  std::string DataPortAccess(ChipPort& Chip, const board::TraceEvent& Event);
  std::string PciAccess(const board::TraceEvent& Event);
  std::string ServiceCall(const board::TraceEvent& Event) const;

  std::map<uint16_t, ChipPort> Chips_; // by index port
  uint32_t ConfigAddress_ = 0;
};

std::vector<DecodedEvent> DecodeTrace(const board::Trace& Events);

} // namespace siotool
