// SPDX-License-Identifier: BSD-2-Clause-Patent
// The text printer of `sio run`'s report.
#include <cstdio>

#include "common/Hex.h"
#include "pi/Status.h"
#include "tool/RegisterMap.h"
#include "tool/RunReport.h"

using sio::Hex;

namespace siotool {

constexpr size_t kAccessColumn = 22;

void PrintRunReport(std::ostream& Out, const RunReport& Report) {
  const EngineRun& Run = Report.Run;
  const board::PassResult& R = Run.Result;
  Out << "Engine: " << EngineName(Run.Engine);
  if (Run.ImageSize) {
    Out << ", " << *Run.ImageSize << "-byte ";
    if (Run.Mode)
      Out << emulator::ModeName(*Run.Mode) << " ";
    Out << "image";
  }
  if (Run.LoadAddress)
    Out << " loaded at " << Hex(*Run.LoadAddress, 8);
  if (Run.MovedFrom)
    Out << " (moved there from its link address " << Hex(*Run.MovedFrom, 8)
        << " through its relocations)";
  if (Run.Instructions)
    Out << ", " << *Run.Instructions << " instructions";
  if (Run.StackHighWater)
    Out << ", " << *Run.StackHighWater << " bytes of stack";
  Out << "\n";
  Out << "Board: " << BoardSummary(Report.Board) << "\n";
  if (!Run.Completed)
    Out << "Run ended abnormally: " << Run.Fault << "\n";

  Out << "Trace (" << R.Events.size() << " events):\n";
  for (const auto& E : Report.Trace) {
    char Index[16];
    std::snprintf(Index, sizeof Index, "%5zu  ", E.Index);
    Out << Index << E.Access;
    // Service calls carry long arguments: their meaning goes on the next line.
    if (E.Access.size() > kAccessColumn) {
      Out << "\n" << std::string(7 + kAccessColumn, ' ');
    } else {
      Out << std::string(kAccessColumn - E.Access.size(), ' ');
    }
    Out << "  " << E.Meaning << "\n";
  }

  Out << "LPC bridge registers 0x80-0x83:";
  for (uint8_t B : R.LpcBridgeDecode)
    Out << " " << Hex(B, 2);
  Out << "\nPOST codes:";
  for (uint32_t Code : R.PostCodes)
    Out << " " << Hex(Code, 2);
  if (R.PostCodes.empty())
    Out << " none";
  Out << "\n";

  if (R.Chip) {
    for (const auto& Line : FormatRegisterMap(*R.Chip))
      Out << Line << "\n";
  } else {
    Out << "No chip on this board\n";
  }

  Out << "Installed PPIs:";
  if (R.Ppis.empty())
    Out << " none";
  Out << "\n";
  for (size_t I = 0; I < R.Ppis.size(); ++I) {
    const auto& Ppi = R.Ppis[I];
    const std::string& Name = Report.PpiNames[I];
    Out << "  " << pi::FormatGuid(Ppi.Guid) << (Name.empty() ? "" : " " + Name) << " (flags "
        << Hex(Ppi.Flags, 8) << ", " << (Ppi.HasInterface ? "with" : "no") << " interface)\n";
  }
  Out << "Status: " << pi::StatusName(R.Status) << "\n";
}

} // namespace siotool
