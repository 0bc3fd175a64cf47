// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/PassDiff.h"

#include "chip/TraceDecoder.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "pi/Status.h"

using sio::Hex;

namespace siotool {
namespace {

class DiffLines {
public:
  explicit DiffLines(size_t Max) : Max_(Max) {}
  void Add(std::string Line) {
    if (Lines_.size() < Max_) {
      Lines_.push_back(std::move(Line));
    } else {
      ++Dropped_;
    }
  }
  std::vector<std::string> Take() {
    if (Dropped_)
      Lines_.push_back("... and " + std::to_string(Dropped_) + " more differences");
    return std::move(Lines_);
  }

private:
  size_t Max_;
  size_t Dropped_ = 0;
  std::vector<std::string> Lines_;
};

std::string Side(const EngineRun& Run) {
  return EngineName(Run.Engine);
}

std::string EventText(const std::vector<chip::DecodedEvent>& Events, size_t I) {
  return I < Events.size() ? Events[I].Access + "  (" + Events[I].Meaning + ")" : "(trace ended)";
}

void AddTraceDifferences(DiffLines& Out, const std::string& NameA, const pi::Trace& A,
                         const std::string& NameB, const pi::Trace& B,
                         const std::vector<uint16_t>& IndexPorts = {}) {
  auto Da = chip::DecodeTrace(A, IndexPorts), Db = chip::DecodeTrace(B, IndexPorts);
  size_t Shown = 0;
  for (size_t I = 0; I < std::max(A.size(), B.size()) && Shown < 5; ++I) {
    if (I < A.size() && I < B.size() && A[I] == B[I])
      continue;
    Out.Add("trace event " + std::to_string(I) + ":");
    Out.Add("  " + NameA + ": " + EventText(Da, I));
    Out.Add("  " + NameB + ": " + EventText(Db, I));
    ++Shown;
  }
  if (A.size() != B.size()) {
    Out.Add("trace length: " + NameA + " " + std::to_string(A.size()) + " events, " + NameB + " " +
            std::to_string(B.size()));
  }
}

} // namespace

std::vector<std::string> DiffTraces(const std::string& NameA, const pi::Trace& A,
                                    const std::string& NameB, const pi::Trace& B, size_t MaxLines) {
  DiffLines Out(MaxLines);
  AddTraceDifferences(Out, NameA, A, NameB, B);
  return Out.Take();
}

std::vector<std::string> DiffPasses(const EngineRun& A, const EngineRun& B, size_t MaxLines) {
  DiffLines Out(MaxLines);
  std::string NameA = Side(A), NameB = Side(B);
  if (NameA == NameB)
    NameA += " (1)", NameB += " (2)";
  if (A.Completed != B.Completed || A.Fault != B.Fault) {
    Out.Add("run: " + NameA + " " + (A.Completed ? "completed" : "faulted: " + A.Fault) + "; " +
            NameB + " " + (B.Completed ? "completed" : "faulted: " + B.Fault));
  }
  const auto &Ra = A.Result, &Rb = B.Result;
  if (Ra.Status != Rb.Status) {
    Out.Add("status: " + NameA + " " + pi::StatusName(Ra.Status) + ", " + NameB + " " +
            pi::StatusName(Rb.Status));
  }
  AddTraceDifferences(Out, NameA, Ra.Events, NameB, Rb.Events, A.Config.IndexPorts());
  if (Ra.Ppis != Rb.Ppis) {
    Out.Add("installed PPIs: " + NameA + " " + std::to_string(Ra.Ppis.size()) + ", " + NameB + " " +
            std::to_string(Rb.Ppis.size()) + " (or different GUIDs/flags)");
  }
  if (Ra.LpcBridgeDecode != Rb.LpcBridgeDecode)
    Out.Add("LPC bridge registers 0x80-0x83 differ");
  if (Ra.PostCodes != Rb.PostCodes)
    Out.Add("POST codes differ");
  if (Ra.Chip.has_value() != Rb.Chip.has_value()) {
    Out.Add("chip: present on one side only");
  } else if (Ra.Chip && *Ra.Chip != *Rb.Chip) {
    const auto &Ca = *Ra.Chip, &Cb = *Rb.Chip;
    if (Ca.InConfigMode != Cb.InConfigMode)
      Out.Add("chip configuration mode differs");
    if (Ca.Flat.has_value() != Cb.Flat.has_value()) {
      Out.Add("chip: a stand-in on one side only");
    } else if (Ca.Flat) {
      for (size_t Reg = 0; Reg < Ca.Flat->size(); ++Reg) {
        if ((*Ca.Flat)[Reg] != (*Cb.Flat)[Reg]) {
          Out.Add("stand-in register " + Hex(Reg, 2) + ": " + NameA + " " +
                  Hex((*Ca.Flat)[Reg], 2) + ", " + NameB + " " + Hex((*Cb.Flat)[Reg], 2));
        }
      }
    }
    for (size_t Reg = 0; Reg < Ca.Global.size(); ++Reg) {
      if (Ca.Global[Reg] != Cb.Global[Reg]) {
        Out.Add("global register " + Hex(Reg, 2) + ": " + NameA + " " + Hex(Ca.Global[Reg], 2) +
                ", " + NameB + " " + Hex(Cb.Global[Reg], 2));
      }
    }
    for (const auto& [Device, Regs] : Ca.Devices) {
      auto Other = Cb.Devices.find(Device);
      if (Other == Cb.Devices.end()) {
        Out.Add("LD" + std::to_string(Device) + " touched by " + NameA + " only");
        continue;
      }
      for (size_t Reg = 0; Reg < Regs.size(); ++Reg) {
        if (Regs[Reg] != Other->second[Reg]) {
          Out.Add("LD" + std::to_string(Device) + " register " + Hex(Reg, 2) + ": " + NameA + " " +
                  Hex(Regs[Reg], 2) + ", " + NameB + " " + Hex(Other->second[Reg], 2));
        }
      }
    }
    for (const auto& [Device, Regs] : Cb.Devices) {
      if (!Ca.Devices.count(Device))
        Out.Add("LD" + std::to_string(Device) + " touched by " + NameB + " only");
    }
  }
  return Out.Take();
}

DiffReport MakeDiffReport(const EngineRun& Image, const EngineRun& Host) {
  return {Image.Result.Events.size(), DiffPasses(Image, Host)};
}

void PrintDiffReport(std::ostream& Out, const DiffReport& Report) {
  for (const auto& Line : Report.Differences)
    Out << Line << "\n";
  if (Report.Identical())
    Out << "identical (" << Report.Events << " events)\n";
}

Json DiffReportToJson(const DiffReport& Report) {
  return {{"identical", Report.Identical()},
          {"events", Report.Events},
          {"differences", Report.Differences}};
}

} // namespace siotool
