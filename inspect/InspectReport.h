// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio inspect`'s report: the chip found, each register read with its mark
// and meaning, the live setup variable when it was the expectation, and a
// summary; as text lines or as one JSON document.
#pragma once

#include <string>
#include <vector>

#include "common/JsonFields.h"
#include "inspect/Comparison.h"

namespace inspect {

struct InspectReport {
  std::string Through; // what the ports were: "/dev/port", "the board model (scenario default)"
  const ChipReading& Reading;
  const Expectation* Expect; // nullptr: nothing expected
  const Comparison& Result;
  bool All = false; // --all: unnamed registers that read 0 and are unchecked are left out
};

std::vector<std::string> FormatInspectReport(const InspectReport& Report);
siotool::Json InspectReportToJson(const InspectReport& Report);

} // namespace inspect
