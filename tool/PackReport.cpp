// SPDX-License-Identifier: BSD-2-Clause-Patent
// The text and JSON printers of `sio pack`'s report.
#include "tool/CommandReports.h"

namespace siotool {

void PrintText(std::ostream& Out, const PackReport& Report) {
  Out << Report.Output << ": " << Report.Kind;
  if (!Report.Guid.empty())
    Out << " " << Report.Guid;
  Out << ", " << Report.Size << " bytes";
  if (!Report.Depex.empty())
    Out << ", depex " << Report.Depex;
  if (Report.TeSaves)
    Out << ", TE image saves " << *Report.TeSaves << " bytes";
  if (Report.Files)
    Out << ", " << *Report.Files << " file(s)";
  Out << "\n";
}

Json ReportToJson(const PackReport& Report) {
  Json Doc = {{"output", Report.Output}, {"kind", Report.Kind}};
  Doc["guid"] = Report.Guid.empty() ? Json(nullptr) : Json(Report.Guid);
  Doc["size"] = Report.Size;
  if (!Report.Depex.empty())
    Doc["depex"] = Report.Depex;
  if (Report.TeSaves)
    Doc["te_saves"] = *Report.TeSaves;
  if (Report.Files)
    Doc["files"] = *Report.Files;
  return Doc;
}

} // namespace siotool
