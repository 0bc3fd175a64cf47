// SPDX-License-Identifier: BSD-2-Clause-Patent
// Setup driven through the serial console as a user would: Escape during the
// boot until Setup's front page shows, Device Manager, the page; each choice
// set with keystrokes (when the boot reaches the Shell first, the Shell asks
// for Setup at the next boot through OsIndications and resets); F10 and Y to save; back to the
// front page and Reset; and, after the next boot, one Shell command. The screen is read through a
// terminal model. Each step waits for the screen it expects and fails, with
// the last screen, when that does not come within its bound. The keys, the
// screens and the bounds are named in SetupPageSession.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ovmf/QemuRunner.h"
#include "ovmf/TerminalScreen.h"

namespace ovmf {

// One question set on the page, as keystrokes: a checkbox toggled to
// Checked, a value typed into the question's entry box, or an option picked
// from its list by its text.
struct PageKeystrokes {
  enum class Input { Checkbox, Typed, Option };
  std::string Prompt;
  Input How = Input::Checkbox;
  bool Checked = false; // Checkbox
  std::string Text;     // Typed: the characters; Option: the option's text
};

struct SetupPageScript {
  std::string Entry;                   // the page's entry in Device Manager (the formset's title)
  std::string FirstPrompt;             // shown once the page is open
  std::vector<PageKeystrokes> Choices; // none: the run ends with the page shown
  std::string ShellCommand;            // typed after the reset (with choices)
};

struct SetupPageOutcome {
  std::string Page;   // the page's screen as it opened
  std::string Chosen; // and with the choices made, before saving
  bool Saved = false;
  bool Reset = false; // from Setup's front page, after saving
  size_t Boots = 1;   // the machine's boots the script saw (each reset starts one)
  std::optional<std::string> ShellAnswer; // what the command printed, to the next prompt
  std::string Failure;    // the step that did not see its screen, and what it waited for
  std::string LastScreen; // the screen when it failed
  bool Done() const { return Failure.empty() && (ShellAnswer || !Reset) && !Page.empty(); }
};

class SetupPageSession {
public:
  using Clock = std::chrono::steady_clock;
  explicit SetupPageSession(SetupPageScript Script);

  // Console output as it comes (empty: none since the last call); answers
  // with the keys to type, and Done once the script has ended or failed.
  ConsoleTurn Feed(std::string_view Output, Clock::time_point Now = Clock::now());
  const SetupPageOutcome& Outcome() const { return Outcome_; }

private:
  struct Step {
    struct Action {
      bool Done = false;
      std::string Keys;
    };
    std::string Name;  // what the step does
    std::string Waits; // the screen it waits for
    std::chrono::seconds Bound;
    std::function<Action(SetupPageSession&)> Next;
  };
  std::vector<Step> Steps_;
  size_t Current_ = 0;
  Clock::time_point StepStart_{};
  Clock::time_point Now_{};
  Clock::time_point LastOutput_{};
  Clock::time_point LastKey_{};
  bool Started_ = false;
  SetupPageScript Script_;
  SetupPageOutcome Outcome_;
  TerminalScreen Screen_;
  std::string Stream_; // console output since the reset (the Shell's lines)
  // State within the step at hand.
  int Moves_ = 0;
  bool Entered_ = false;
  bool AskedForSetup_ = false;
  size_t Mark_ = 0;
  size_t AnswerFrom_ = 0; // where the Shell command's answer starts in Stream_

  void Build();
};

} // namespace ovmf
