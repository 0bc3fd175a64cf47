// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/SetupPageScript.h"

#include <algorithm>
#include <cstdio>

#include "common/FileInput.h"
#include "emulator/DxeRun.h"
#include "hii/PageChoices.h"
#include "ovmf/SetupVariableStore.h"
#include "pi/Status.h"
#include "tool/InputError.h"

namespace siotool {

ChosenPage ChoosePage(const std::string& DriverImage, const std::vector<std::string>& Choices) {
  // A PE image of a DXE driver is a few KiB; refuse anything huge.
  const auto File = Need(sio::ReadInputFile(DriverImage, 16 << 20));
  const emulator::DxeRunReport Run = emulator::RunDxeImage(File, {});
  if (!Run.Completed || pi::IsError(Run.Status) || Run.PackageList.empty())
    throw InputError(DriverImage + ": the driver registered no page in the emulator (" +
                     (Run.Completed ? "status " + pi::StatusName(Run.Status) : Run.Fault) + ")");
  auto Page = hii::DecodePackageList(Run.PackageList);
  if (!Page)
    throw InputError(DriverImage + ": registered package list", Page.Failure());
  if (Page->Questions.empty())
    throw InputError(DriverImage + ": the page has no question");
  ChosenPage Chosen{std::move(*Page), Run.SetupVariable.value_or(std::vector<uint8_t>{})};
  for (const std::string& Choice : Choices)
    if (auto Applied = hii::ApplyChoice(Chosen.Page, Choice, Chosen.Values); !Applied)
      throw InputError("--choose", Applied.Failure());
  return Chosen;
}

ovmf::SetupPageScript ScriptFor(const hii::DecodedPage& Page,
                                const std::vector<std::string>& Choices) {
  ovmf::SetupPageScript Script;
  Script.Entry = Page.Title;
  Script.FirstPrompt = Page.Questions.front().Prompt;
  Script.ShellCommand = ovmf::DumpSetupVariableCommand();
  for (const std::string& Choice : Choices) {
    // ChoosePage has checked each choice: its prompt is on the page and its
    // value one the question takes.
    const size_t Equals = Choice.find('=');
    const std::string Prompt = Choice.substr(0, Equals);
    const auto Q = std::ranges::find(Page.Questions, Prompt, &hii::DecodedQuestion::Prompt);
    if (Equals == std::string::npos || Q == Page.Questions.end())
      throw InputError("--choose: " + Choice + ": no such question");
    const auto Value = hii::ParseChoice(*Q, Choice.substr(Equals + 1));
    if (!Value)
      throw InputError("--choose", Value.Failure());
    ovmf::PageKeystrokes Keys;
    Keys.Prompt = Prompt;
    switch (Q->Kind) {
    case hii::QuestionKind::Checkbox:
      Keys.How = ovmf::PageKeystrokes::Input::Checkbox;
      Keys.Checked = *Value != 0;
      break;
    case hii::QuestionKind::Numeric: {
      Keys.How = ovmf::PageKeystrokes::Input::Typed;
      char Digits[8];
      std::snprintf(Digits, sizeof Digits, Q->Hex ? "%X" : "%u", *Value);
      Keys.Text = Digits;
      break;
    }
    case hii::QuestionKind::OneOf: {
      Keys.How = ovmf::PageKeystrokes::Input::Option;
      const auto O = std::ranges::find(Q->Options, *Value, &hii::DecodedOption::Value);
      if (O == Q->Options.end())
        throw InputError("--choose: " + Choice + ": no option holds that value");
      Keys.Text = O->Text;
      break;
    }
    }
    Script.Choices.push_back(std::move(Keys));
  }
  return Script;
}

} // namespace siotool
