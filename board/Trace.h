// What a pass leaves behind on the board: every port access and every PEI
// service call, in the order they happened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace board {

enum class EventKind : uint8_t { IoRead, IoWrite, InstallPpi, LocatePpi, GetVariable };

struct TraceEvent {
  EventKind Kind = EventKind::IoWrite;
  uint8_t Width = 0;   // port accesses: 1, 2 or 4 bytes
  uint16_t Port = 0;   // port accesses
  uint32_t Value = 0;  // port accesses: the value written or read
  uint32_t Status = 0; // service calls: the IA-32 status returned
  std::string Detail;  // service calls: engine-neutral arguments and results

  bool IsPortAccess() const { return Kind == EventKind::IoRead || Kind == EventKind::IoWrite; }
  bool operator==(const TraceEvent&) const = default;
};

using Trace = std::vector<TraceEvent>;

// One line per event, e.g. "out8 0x004E <- 0x77" or "InstallPpi -> EFI_SUCCESS (...)".
std::string FormatEvent(const TraceEvent& Event);

} // namespace board
