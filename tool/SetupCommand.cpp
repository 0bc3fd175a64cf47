// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio setup`: runs the setup driver's image in the emulator on a variable
// store holding the given variable (or none), reads the package list it
// registered and prints the page as Setup shows it: title, help, and each
// question with its prompt, help, current value and default. --choose sets
// questions as a user would; -o writes the variable saving them would store.
#include <iostream>
#include <memory>

#include <nlohmann/json.hpp>

#include "common/DataPaths.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "common/Hex.h"
#include "emulator/DxeRun.h"
#include "hii/HiiDecoder.h"
#include "hii/PageChoices.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"
#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/SetupContentOptions.h"

namespace siotool {
namespace {

// The largest variable --content takes: a wrong size is something to try.
constexpr size_t kMaxVariableFile = 4096;

struct SetupOptions {
  std::string Image;
  SetupContentOptions Content;
  std::vector<std::string> Choices;
  std::string Output;
  bool Json = false;
};

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

void PrintText(const std::string& Image, const emulator::DxeRunReport& Run,
               const hii::DecodedPage& Page, std::span<const uint8_t> Values) {
  std::cout << Page.Title << "\n  " << Page.Help << "\n";
  std::cout << "Registered by " << Image << " (" << emulator::ModeName(Run.Mode) << "), status "
            << pi::StatusName(Run.Status) << "; formset " << pi::FormatGuid(Page.FormSetGuid);
  for (const auto& Class : Page.ClassGuids) {
    std::string Name = pi::GuidName(Class);
    std::cout << ", class " << (Name.empty() ? pi::FormatGuid(Class) : Name);
  }
  std::cout << "\n";
  for (const auto& V : Page.VarStores)
    std::cout << "Variable " << V.Name << " {" << pi::FormatGuid(V.Guid) << "}, " << V.Size
              << " bytes, attributes " << sio::Hex(V.Attributes, 2) << "\n";
  for (const auto& Q : Page.Questions) {
    std::cout << "\n  " << Q.Prompt << ": "
              << (Q.Offset < Values.size() ? hii::ValueText(Q, Values[Q.Offset]) : "(none)");
    if (Q.Default)
      std::cout << "   (default " << hii::ValueText(Q, *Q.Default) << ")";
    std::cout << "\n    " << Q.Help << "\n    " << KindName(Q.Kind) << " at byte " << Q.Offset;
    if (Q.Kind != hii::QuestionKind::Checkbox)
      std::cout << ": " << Range(Q);
    std::cout << "\n";
  }
}

void PrintJson(const std::string& Image, const emulator::DxeRunReport& Run,
               const hii::DecodedPage& Page, std::span<const uint8_t> Values) {
  nlohmann::ordered_json Doc;
  Doc["image"] = Image;
  Doc["mode"] = emulator::ModeName(Run.Mode);
  Doc["status"] = pi::StatusName(Run.Status);
  Doc["title"] = Page.Title;
  Doc["help"] = Page.Help;
  Doc["formset"] = pi::FormatGuid(Page.FormSetGuid);
  Doc["class_guids"] = nlohmann::ordered_json::array();
  for (const auto& Class : Page.ClassGuids)
    Doc["class_guids"].push_back(pi::FormatGuid(Class));
  Doc["variables"] = nlohmann::ordered_json::array();
  for (const auto& V : Page.VarStores)
    Doc["variables"].push_back({{"name", V.Name},
                                {"guid", pi::FormatGuid(V.Guid)},
                                {"size", V.Size},
                                {"attributes", V.Attributes}});
  Doc["questions"] = nlohmann::ordered_json::array();
  for (const auto& Q : Page.Questions) {
    nlohmann::ordered_json J;
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
      J["options"] = nlohmann::ordered_json::array();
      for (const auto& O : Q.Options)
        J["options"].push_back({{"text", O.Text}, {"value", O.Value}, {"default", O.IsDefault}});
    }
    Doc["questions"].push_back(std::move(J));
  }
  std::cout << Doc.dump(2) << "\n";
}

} // namespace

void AddSetupCommand(CLI::App& App, int& ExitCode) {
  auto O = std::make_shared<SetupOptions>();
  auto* Setup = App.add_subcommand(
      "setup", "Run the setup driver in the emulator and show the page it registers");
  Setup->add_option("--image", O->Image, "Setup driver image (default: the built IA-32 one)")
      ->type_name("FILE");
  O->Content.AddTo(*Setup, true);
  Setup
      ->add_option("--choose", O->Choices,
                   "Set a question as a user would: \"PROMPT=VALUE\" (repeatable)")
      ->type_name("PROMPT=VALUE");
  Setup
      ->add_option("-o,--output", O->Output,
                   "Write the variable content that saving the choices would store")
      ->type_name("FILE");
  Setup->add_flag("--json", O->Json, "Print the page as one JSON document");
  Setup->callback([O, &ExitCode] {
    const std::string Image = O->Image.empty() ? sio::data::SetupDxeFile() : O->Image;
    // A PE image of a DXE driver is a few KiB; refuse anything huge.
    auto File = Need(sio::ReadInputFile(Image, 16 << 20));
    emulator::DxeScenario Scenario;
    if (O->Content.Given())
      Scenario.SetupVariable = O->Content.Build(kMaxVariableFile);
    emulator::DxeRunReport Run = emulator::RunDxeImage(File, Scenario);
    // A file the loader refuses is bad input; a driver that ran and faulted
    // is a failed check.
    if (!Run.Completed && Run.Fault.starts_with("bad image: "))
      throw InputError(Image + ": " + Run.Fault.substr(sizeof "bad image: " - 1));
    if (!Run.Completed)
      throw InputError(Image + ": the driver did not run to its end: " + Run.Fault,
                       sio::ErrorKind::Failed);
    if (pi::IsError(Run.Status) || Run.PackageList.empty()) {
      std::string Calls;
      for (const auto& Call : Run.Calls)
        Calls += (Calls.empty() ? "" : ", ") + Call.Service + " " + pi::StatusName(Call.Status);
      throw InputError(Image + ": the driver registered no page (status " +
                           pi::StatusName(Run.Status) + "; calls: " + Calls + ")",
                       sio::ErrorKind::Failed);
    }
    auto Page = hii::DecodePackageList(Run.PackageList);
    if (!Page)
      throw InputError(Image + ": registered package list", Page.Failure());
    // The values Setup reads: the variable as the driver left it.
    std::vector<uint8_t> Values = Run.SetupVariable.value_or(std::vector<uint8_t>{});
    for (const std::string& Choice : O->Choices) {
      if (auto Applied = hii::ApplyChoice(*Page, Choice, Values); !Applied)
        throw InputError("--choose", Applied.Failure());
    }
    if (O->Json)
      PrintJson(Image, Run, *Page, Values);
    else
      PrintText(Image, Run, *Page, Values);
    if (!O->Output.empty()) {
      Need(sio::WriteOutputFile(O->Output, Values, "variable content"), "--output");
    }
    ExitCode = 0;
  });
}

} // namespace siotool
