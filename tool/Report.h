// SPDX-License-Identifier: BSD-2-Clause-Patent
// Every command's report goes out through its two printers: PrintText for a
// reader, ReportToJson for scripts, overloaded on the report's type. Both take
// the same model, so neither can show a fact the other lacks.
#pragma once

#include <ostream>

#include "common/JsonDocument.h"

namespace siotool {

template <typename Report> void PrintReport(std::ostream& Out, const Report& R, bool AsJson) {
  if (AsJson)
    Out << sio::JsonDocument(ReportToJson(R));
  else
    PrintText(Out, R);
}

} // namespace siotool
