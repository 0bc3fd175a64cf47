#include "board/Trace.h"

#include <cstdio>

#include "board/Status.h"

namespace board {

std::string FormatEvent(const TraceEvent& E) {
  char Text[64];
  switch (E.Kind) {
  case EventKind::IoRead:
  case EventKind::IoWrite:
    std::snprintf(Text, sizeof Text, "%s%u 0x%04X %s 0x%0*X",
                  E.Kind == EventKind::IoRead ? "in" : "out", E.Width * 8u, E.Port,
                  E.Kind == EventKind::IoRead ? "->" : "<-", E.Width * 2, E.Value);
    return Text;
  case EventKind::InstallPpi:
    return "InstallPpi(" + E.Detail + ") -> " + StatusName(E.Status);
  case EventKind::LocatePpi:
    return "LocatePpi(" + E.Detail + ") -> " + StatusName(E.Status);
  case EventKind::GetVariable:
    return "GetVariable(" + E.Detail + ") -> " + StatusName(E.Status);
  }
  return "?";
}

} // namespace board
