// SPDX-License-Identifier: BSD-2-Clause-Patent
// The report of one pass as one JSON document, for scripts: the scenario,
// the decoded trace, the register map, the installed PPIs and the status.
#pragma once

#include "board/Scenario.h"
#include "common/JsonFields.h"
#include "tool/Engine.h"

namespace siotool {

Json RunReportToJson(const EngineRun& Run, const board::Scenario& Config);

} // namespace siotool
