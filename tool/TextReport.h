// SPDX-License-Identifier: BSD-2-Clause-Patent
// The human-readable report of one pass: the decoded trace, the final
// register map, the installed PPIs by GUID and the status by name.
#pragma once

#include <ostream>

#include "tool/Engine.h"

namespace siotool {

void PrintRunReport(std::ostream& Out, const EngineRun& Run);

} // namespace siotool
