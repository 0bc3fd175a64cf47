// SPDX-License-Identifier: BSD-2-Clause-Patent
// The text and JSON printers of `sio setup`'s report: the page as Setup shows it.
#include "common/Hex.h"
#include "hii/PageChoices.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"
#include "tool/CommandReports.h"

namespace siotool {
namespace {

const char* KindName(hii::QuestionKind Kind) {
  switch (Kind) {
  case hii::QuestionKind::Checkbox:
    return "checkbox";
  case hii::QuestionKind::Numeric:
    return "numeric";
  case hii::QuestionKind::OneOf:
    return "one-of";
  }
  return "";
}

std::string Range(const hii::DecodedQuestion& Q) {
  if (Q.Kind == hii::QuestionKind::Numeric)
    return hii::ValueText(Q, Q.Minimum) + " to " + hii::ValueText(Q, Q.Maximum);
  std::string Text;
  for (const auto& O : Q.Options)
    Text += (Text.empty() ? "" : "; ") + std::to_string(O.Value) + " " + O.Text;
  return Text;
}

} // namespace

void PrintText(std::ostream& Out, const SetupPageReport& Report) {
  const hii::DecodedPage& Page = Report.Page;
  const std::vector<uint8_t>& Values = Report.Values;
  Out << Page.Title << "\n  " << Page.Help << "\n";
  Out << "Registered by " << Report.Image << " (" << emulator::ModeName(Report.Mode) << "), status "
      << pi::StatusName(Report.Status) << "; formset " << pi::FormatGuid(Page.FormSetGuid);
  for (const auto& Class : Page.ClassGuids) {
    std::string Name = pi::GuidName(Class);
    Out << ", class " << (Name.empty() ? pi::FormatGuid(Class) : Name);
  }
  Out << "\n";
  for (const auto& V : Page.VarStores)
    Out << "Variable " << V.Name << " {" << pi::FormatGuid(V.Guid) << "}, " << V.Size
        << " bytes, attributes " << sio::Hex(V.Attributes, 2) << "\n";
  for (const auto& Q : Page.Questions) {
    Out << "\n  " << Q.Prompt << ": "
        << (Q.Offset < Values.size() ? hii::ValueText(Q, Values[Q.Offset]) : "(none)");
    if (Q.Default)
      Out << "   (default " << hii::ValueText(Q, *Q.Default) << ")";
    Out << "\n    " << Q.Help << "\n    " << KindName(Q.Kind) << " at byte " << Q.Offset;
    if (Q.Kind != hii::QuestionKind::Checkbox)
      Out << ": " << Range(Q);
    Out << "\n";
  }
}

Json ReportToJson(const SetupPageReport& Report) {
  const hii::DecodedPage& Page = Report.Page;
  const std::vector<uint8_t>& Values = Report.Values;
  Json Doc;
  Doc["image"] = Report.Image;
  Doc["mode"] = emulator::ModeName(Report.Mode);
  Doc["status"] = pi::StatusName(Report.Status);
  Doc["title"] = Page.Title;
  Doc["help"] = Page.Help;
  Doc["formset"] = pi::FormatGuid(Page.FormSetGuid);
  Doc["class_guids"] = Json::array();
  Doc["class_names"] = Json::array();
  for (const auto& Class : Page.ClassGuids) {
    Doc["class_guids"].push_back(pi::FormatGuid(Class));
    Doc["class_names"].push_back(pi::GuidName(Class));
  }
  Doc["variables"] = Json::array();
  for (const auto& V : Page.VarStores)
    Doc["variables"].push_back({{"name", V.Name},
                                {"guid", pi::FormatGuid(V.Guid)},
                                {"size", V.Size},
                                {"attributes", V.Attributes}});
  Doc["questions"] = Json::array();
  for (const auto& Q : Page.Questions) {
    Json J;
    J["prompt"] = Q.Prompt;
    J["help"] = Q.Help;
    J["kind"] = KindName(Q.Kind);
    J["question_id"] = Q.Id;
    J["offset"] = Q.Offset;
    if (Q.Offset < Values.size()) {
      J["value"] = Values[Q.Offset];
      J["value_text"] = hii::ValueText(Q, Values[Q.Offset]);
    }
    if (Q.Default) {
      J["default"] = *Q.Default;
      J["default_text"] = hii::ValueText(Q, *Q.Default);
    }
    if (Q.Kind == hii::QuestionKind::Numeric) {
      J["minimum"] = Q.Minimum;
      J["maximum"] = Q.Maximum;
      J["step"] = Q.Step;
    }
    if (Q.Kind == hii::QuestionKind::OneOf) {
      J["options"] = Json::array();
      for (const auto& O : Q.Options)
        J["options"].push_back({{"text", O.Text}, {"value", O.Value}, {"default", O.IsDefault}});
    }
    Doc["questions"].push_back(std::move(J));
  }
  return Doc;
}

} // namespace siotool
