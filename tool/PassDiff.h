// SPDX-License-Identifier: BSD-2-Clause-Patent
// Compares two passes of the same scenario (image and host engine) field by
// field: how the run ended, the status, the trace access by access, the
// installed PPIs, the chip's registers, the LPC bridge and the POST codes.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "common/JsonFields.h"
#include "tool/Engine.h"

namespace siotool {

// The report of `sio diff`: the image's pass against the host build's.
// Printed as text ("identical (N events)", or the differences) or as JSON.
struct DiffReport {
  size_t Events = 0;                    // events in the image's pass
  std::vector<std::string> Differences; // DiffPasses' lines; none: identical
  bool Identical() const { return Differences.empty(); }
};

DiffReport MakeDiffReport(const EngineRun& Image, const EngineRun& Host);
void PrintDiffReport(std::ostream& Out, const DiffReport& Report);
Json DiffReportToJson(const DiffReport& Report);

// One line per difference, the first MaxLines of them; empty when the
// passes are the same.
std::vector<std::string> DiffPasses(const EngineRun& A, const EngineRun& B, size_t MaxLines = 20);

// The trace part of DiffPasses: the first differing accesses (five at most),
// each side decoded, and the lengths when they differ; empty when the traces
// are the same.
std::vector<std::string> DiffTraces(const std::string& NameA, const pi::Trace& A,
                                    const std::string& NameB, const pi::Trace& B,
                                    size_t MaxLines = 20);

} // namespace siotool
