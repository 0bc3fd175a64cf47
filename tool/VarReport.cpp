// SPDX-License-Identifier: BSD-2-Clause-Patent
// The text and JSON printers of `sio var`'s reports.
#include <cstdio>

#include "chip/SetupVariable.h"
#include "common/Hex.h"
#include "pi/VariableStore.h"
#include "tool/CommandReports.h"
#include "tool/SetupContentOptions.h"

using sio::Hex;

namespace siotool {
namespace {

std::string Describe(const StoreSummary& Store) {
  std::string Text = Store.Format + " variable store at " + Hex(Store.StoreOffset, 2);
  if (Store.VolumeOffset)
    Text += " in the volume at " + Hex(*Store.VolumeOffset, 2);
  return Text + ", " + std::to_string(Store.Size) + " bytes, " + std::to_string(Store.Free) +
         " free";
}

Json StoreToJson(const StoreSummary& Store) {
  return {{"path", Store.Path},
          {"format", Store.Format},
          {"store_offset", Store.StoreOffset},
          {"volume_offset", Store.VolumeOffset ? Json(*Store.VolumeOffset) : Json(nullptr)},
          {"size", Store.Size},
          {"free", Store.Free}};
}

std::string StateText(const VarRecordRow& Record) {
  return Hex(Record.StateByte, 2) + " " + Record.State;
}

Json RecordToJson(const VarRecordRow& Record) {
  return {{"offset", Record.Offset},
          {"state", Record.StateByte},
          {"state_name", Record.State},
          {"attributes", Record.Attributes},
          {"attributes_text", pi::FormatVariableAttributes(Record.Attributes)},
          {"size", Record.Size},
          {"guid", Record.Guid},
          {"name", Record.Name}};
}

// The module reads exactly 67 bytes; say what another size means for it.
void NoteSize(std::ostream& Out, size_t Size) {
  if (Size < chip::kSetupDataSize) {
    Out << "note: content is " << Size
        << " bytes, not 67: the settings stage reads what is there and passes over "
           "entries it does not reach\n";
  } else if (Size > chip::kSetupDataSize) {
    Out << "note: content is " << Size
        << " bytes, not 67: the settings stage's 67-byte buffer is too small for it and "
           "it applies nothing\n";
  }
}

void PrintReading(std::ostream& Out, const SetupReading& R) {
  NoteSize(Out, R.Data.size());
  PrintSetupTable(Out, R.Data, R.Label);
  if (!R.Verdict.empty())
    Out << R.Verdict << "\n";
}

Json ReadingToJson(const SetupReading& R) {
  Json Doc = SetupVariableToJson(R.Data);
  Doc["firmware_reads"] = R.Verdict.empty() ? Json(nullptr) : Json(R.Verdict);
  return Doc;
}

} // namespace

std::string VariableAttributesText(uint32_t Attributes) {
  return Hex(Attributes, 2) + " (" + pi::FormatVariableAttributes(Attributes) + ")";
}

void PrintText(std::ostream& Out, const VarContentReport& Report) {
  if (!Report.Output.empty())
    Out << "Wrote " << Report.Data.size() << " bytes to " << Report.Output << "\n";
  PrintSetupTable(Out, Report.Data);
}

Json ReportToJson(const VarContentReport& Report) {
  Json Doc;
  if (!Report.Output.empty())
    Doc["output"] = Report.Output;
  Doc["variable"] = SetupVariableToJson(Report.Data);
  return Doc;
}

void PrintText(std::ostream& Out, const VarStoreReport& Report) {
  const VarRecordRow& New = Report.Stored;
  Out << Report.Store.Path << ": " << Describe(Report.Store) << "\n";
  for (const ReplacedCopy& Copy : Report.Replaced)
    Out << "Replaced: the copy at " << Hex(Copy.Offset, 6) << " marked deleted (state "
        << Hex(Copy.StateBefore, 2) << " -> " << Hex(Copy.StateAfter, 2) << ")\n";
  Out << (Report.Added ? "Added" : "Stored") << " \"" << New.Name << "\" " << New.Guid << " at "
      << Hex(New.Offset, 6) << ": attributes " << VariableAttributesText(New.Attributes)
      << ", state " << StateText(New) << ", " << New.Size << " bytes\n";
  Out << "Wrote " << Report.Output << ": " << Report.OutputSize << " bytes, " << Report.FreeAfter
      << " bytes of the store free\n";
  PrintReading(Out, Report.Setup);
}

Json ReportToJson(const VarStoreReport& Report) {
  Json Replaced = Json::array();
  for (const ReplacedCopy& Copy : Report.Replaced)
    Replaced.push_back({{"offset", Copy.Offset},
                        {"state_before", Copy.StateBefore},
                        {"state_after", Copy.StateAfter}});
  return {{"store", StoreToJson(Report.Store)},
          {"replaced", Replaced},
          {"added", Report.Added},
          {"stored", RecordToJson(Report.Stored)},
          {"output", Report.Output},
          {"output_size", Report.OutputSize},
          {"free_after", Report.FreeAfter},
          {"variable", ReadingToJson(Report.Setup)}};
}

void PrintText(std::ostream& Out, const VarListReport& Report) {
  Out << Report.Store.Path << ": " << Describe(Report.Store) << "\n";
  if (Report.Records.empty()) {
    Out << "No variables\n";
  } else {
    char Line[256];
    std::snprintf(Line, sizeof Line, "%-8s  %-26s  %-20s  %6s  %-36s  %s", "record", "state",
                  "attributes", "size", "GUID", "name");
    Out << Line << "\n";
    for (const VarRecordRow& Record : Report.Records) {
      std::snprintf(Line, sizeof Line, "%-8s  %-26s  %-20s  %6zu  %-36s  ",
                    Hex(Record.Offset, 6).c_str(), StateText(Record).c_str(),
                    VariableAttributesText(Record.Attributes).c_str(), Record.Size,
                    Record.Guid.c_str());
      Out << Line << Record.Name << "\n";
    }
  }
  const std::string Name = pi::VariableNameText(chip::kSetupVariableName);
  if (!Report.SetupAt) {
    Out << "\"" << Name << "\": no valid copy in the store\n";
    return;
  }
  Out << "\"" << Name << "\" at " << Hex(*Report.SetupAt, 6) << ":\n";
  PrintReading(Out, Report.Setup);
}

Json ReportToJson(const VarListReport& Report) {
  Json Records = Json::array();
  for (const VarRecordRow& Record : Report.Records)
    Records.push_back(RecordToJson(Record));
  Json Doc = {{"store", StoreToJson(Report.Store)}, {"records", Records}};
  Doc["setup_variable"] = Report.SetupAt ? Json{{"offset", *Report.SetupAt},
                                                {"valid_copies", Report.ValidCopies},
                                                {"variable", ReadingToJson(Report.Setup)}}
                                         : Json(nullptr);
  return Doc;
}

} // namespace siotool
