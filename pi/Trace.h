// SPDX-License-Identifier: BSD-2-Clause-Patent
// What a pass leaves behind on the board: every port access and every PEI
// service call, in the order they happened. A service call is recorded as
// data (its arguments and results); FormatEvent is the one place that words it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pi/Guid.h"

namespace pi {

enum class EventKind : uint8_t { IoRead, IoWrite, InstallPpi, LocatePpi, GetVariable };

// A PPI descriptor's flags: the entry names a PPI; it ends the list.
inline constexpr uint32_t kPpiDescriptorPpi = 0x00000010;
inline constexpr uint32_t kPpiDescriptorTerminateList = 0x80000000;

// One descriptor of the list given to InstallPpi.
struct PpiRecord {
  pi::Guid Guid{};
  uint32_t Flags = 0;
  bool HasInterface = false;
  bool operator==(const PpiRecord&) const = default;
};

// The arguments and results of one PEI service call, engine-neutral. Only the
// fields of the call's kind are set; the others keep their defaults.
struct ServiceCall {
  // InstallPpi: the caller's descriptors; ListWellFormed false (and Ppis
  // empty) for a NULL or unterminated list.
  std::vector<PpiRecord> Ppis;
  bool ListWellFormed = true;
  // LocatePpi: the GUID looked for. GetVariable: the vendor GUID; nullopt
  // for a NULL pointer.
  std::optional<pi::Guid> Guid;
  // LocatePpi.
  uint64_t Instance = 0;
  bool DescriptorWanted = false; // a descriptor pointer was given
  bool NullInterface = false;    // success, yet no interface handed back
  // GetVariable: the name (NameGiven false for NULL), the buffer size the
  // caller gave and the size written back, and whether the caller asked for
  // the attributes (a non-NULL Attributes pointer).
  bool NameGiven = false;
  std::u16string Name;
  uint64_t BufferSize = 0;
  uint64_t DataSize = 0;
  bool AttributesWanted = false;

  bool operator==(const ServiceCall&) const = default;
};

struct TraceEvent {
  EventKind Kind = EventKind::IoWrite;
  uint8_t Width = 0;   // port accesses: 1, 2 or 4 bytes
  uint16_t Port = 0;   // port accesses
  uint32_t Value = 0;  // port accesses: the value written or read
  uint32_t Status = 0; // service calls: the IA-32 status returned
  ServiceCall Call;    // service calls

  bool IsPortAccess() const { return Kind == EventKind::IoRead || Kind == EventKind::IoWrite; }
  bool operator==(const TraceEvent&) const = default;
};

using Trace = std::vector<TraceEvent>;

// "InstallPpi", "LocatePpi", "GetVariable"; "in" and "out" for port accesses.
const char* KindName(EventKind Kind);
// A service call's arguments and results, e.g. `"SioF81216aSetup00"
// CD2E75EC-4162-411D-B7F1-E1D882E697AB size=67 -> 67`.
std::string FormatCallDetail(const TraceEvent& Event);
// One line per event, e.g. "out8 0x004E <- 0x77" or
// "InstallPpi(6F3BDEE2-... flags=0x80000010 no-interface) -> EFI_SUCCESS".
std::string FormatEvent(const TraceEvent& Event);

} // namespace pi
