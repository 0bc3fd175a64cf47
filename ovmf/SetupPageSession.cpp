// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/SetupPageSession.h"

#include <functional>

namespace ovmf {
namespace {

using namespace std::chrono_literals;

// The keys as the firmware's PC-ANSI terminal reads them.
namespace key {
constexpr std::string_view kEscape = "\x1b";
constexpr std::string_view kDown = "\x1b[B";
constexpr std::string_view kEnter = "\r";
constexpr std::string_view kF10 = "\x1b[V";
constexpr std::string_view kConfirm = "Y";
constexpr std::string_view kSkipStartup = " ";
// Setup at the next boot, asked for through the Shell: OsIndications with
// EFI_OS_INDICATIONS_BOOT_TO_FW_UI (bit 0) in the global variable GUID, then a reset.
constexpr std::string_view kBootToSetup =
    "setvar OsIndications -guid 8BE4DF61-93CA-11D2-AA0D-00E098032B8C -nv -bs -rt "
    "=0100000000000000\rreset\r";
} // namespace key

// What each screen shows.
namespace screen {
constexpr std::string_view kFrontPage = "Select Language";
constexpr std::string_view kDeviceManager = "Device Manager";
constexpr std::string_view kDevicesList = "Devices List";
constexpr std::string_view kSaveQuestion = "Save configuration changes?";
constexpr std::string_view kReset = "Reset";
constexpr std::string_view kStartupPrompt = "Press";
constexpr std::string_view kCheckboxOn = "[X]";
// A menu's highlighted item (light grey on black) and a pop-up list's (bright
// white on cyan).
constexpr CellAttribute kMenuHighlight{37, 40, false};
constexpr CellAttribute kListHighlight{37, 46, true};
constexpr size_t kRows = 50;     // the largest text mode the terminal offers is 80x50
constexpr size_t kColumns = 100; // or 100x31
} // namespace screen

// How long each kind of step may take under TCG on a busy machine.
namespace bound {
constexpr auto kBootToSetup = 120s; // from power-on to the front page
constexpr auto kScreen = 30s;       // a menu or a pop-up after a key
constexpr auto kBootToShell = 120s; // from the reset to the Shell's answer
// The screen is read once the output has been quiet this long after a key.
constexpr auto kSettle = 400ms;
// Escape is sent this often while the boot runs towards Setup.
constexpr auto kEscapeEvery = 500ms;
constexpr int kMaxMoves = 40; // highlight moves to find an item
// A menu settled this long without the item looked for does not list it.
constexpr auto kAbsent = 5s;
} // namespace bound

// True when the row holding Text has a character drawn with Highlight.
bool Highlighted(const TerminalScreen& S, std::string_view Text, CellAttribute Highlight) {
  for (size_t Row = 0; Row < S.Rows(); ++Row) {
    const std::string Line = S.Line(Row);
    const size_t At = Line.find(Text);
    if (At == std::string::npos)
      continue;
    // Drawn characters only: blanks keep whatever colours cleared them.
    for (size_t C = 0; C < Line.size(); ++C)
      if (Line[C] != ' ' && S.AttributeAt(Row, C) == Highlight)
        return true;
  }
  return false;
}

// The text of the row holding Text (empty when none does).
std::string RowWith(const TerminalScreen& S, std::string_view Text) {
  const auto Row = S.FindRow(Text);
  return Row ? S.Line(*Row) : std::string();
}

} // namespace

SetupPageSession::SetupPageSession(SetupPageScript Script)
    : Script_(std::move(Script)), Screen_(screen::kRows, screen::kColumns) {
  Build();
}

void SetupPageSession::Build() {
  using Action = Step::Action;
  // Moves the highlight to the item holding Text, with Highlight telling the
  // highlighted one; then Then decides.
  const auto Select = [](std::string Text, CellAttribute Highlight,
                         std::function<Action(SetupPageSession&)> Then) {
    return [Text, Highlight, Then](SetupPageSession& S) -> Action {
      if (!S.Entered_ && !Highlighted(S.Screen_, Text, Highlight)) {
        if (!S.Screen_.Shows(Text) && S.Now_ - S.StepStart_ > bound::kAbsent)
          S.Outcome_.Failure = "\"" + Text + "\" is not listed";
        if (!S.Screen_.Shows(Text) || ++S.Moves_ > bound::kMaxMoves)
          return {};
        return {false, std::string(key::kDown)};
      }
      return Then(S);
    };
  };
  // Enter on the selected item, done once Shown appears.
  const auto EnterUntil = [](std::string Shown) {
    return [Shown](SetupPageSession& S) -> Action {
      if (!S.Entered_) {
        S.Entered_ = true;
        return {false, std::string(key::kEnter)};
      }
      return {S.Screen_.Shows(Shown), {}};
    };
  };

  Steps_.push_back(
      {"enter Setup", "Setup's front page (\"" + std::string(screen::kFrontPage) + "\")",
       std::chrono::duration_cast<std::chrono::seconds>(bound::kBootToSetup),
       [](SetupPageSession& S) -> Action {
         if (S.Screen_.Shows(screen::kFrontPage) && S.Screen_.Shows(screen::kDeviceManager))
           return {true, {}};
         // The hot key was missed and the Shell came up: Setup at the next
         // boot instead. Once asked for, the next boot goes there by itself,
         // and an Escape at the Shell would clear the line typed.
         if (S.AskedForSetup_)
           return {};
         if (S.Stream_.find(kShellPrompt) != std::string::npos) {
           S.AskedForSetup_ = true;
           ++S.Outcome_.Boots;
           return {false, std::string(key::kBootToSetup)};
         }
         return {false, std::string(key::kEscape)};
       }});
  Steps_.push_back({"open Device Manager", "\"" + std::string(screen::kDevicesList) + "\"",
                    bound::kScreen,
                    Select(std::string(screen::kDeviceManager), screen::kMenuHighlight,
                           EnterUntil(std::string(screen::kDevicesList)))});
  Steps_.push_back({"open the page",
                    "its entry \"" + Script_.Entry + "\" in Device Manager, then \"" +
                        Script_.FirstPrompt + "\"",
                    bound::kScreen,
                    Select(Script_.Entry, screen::kMenuHighlight,
                           [Open = EnterUntil(Script_.FirstPrompt)](SetupPageSession& S) -> Action {
                             Action A = Open(S);
                             if (A.Done)
                               S.Outcome_.Page = S.Screen_.Text(true);
                             return A;
                           })});
  if (Script_.Choices.empty())
    return;

  for (const PageKeystrokes& C : Script_.Choices) {
    const std::string Prompt = C.Prompt;
    std::function<Action(SetupPageSession&)> Set;
    std::string Waits;
    switch (C.How) {
    case PageKeystrokes::Input::Checkbox:
      Waits = std::string(C.Checked ? "checked" : "cleared") + " box";
      Set = [Prompt, Want = C.Checked](SetupPageSession& S) -> Action {
        const bool On = RowWith(S.Screen_, Prompt).find(screen::kCheckboxOn) != std::string::npos;
        if (On == Want)
          return {true, {}};
        if (S.Entered_)
          return {}; // toggled: wait for the box to change
        S.Entered_ = true;
        return {false, std::string(key::kEnter)};
      };
      break;
    case PageKeystrokes::Input::Typed:
      Waits = "[" + C.Text + "]";
      Set = [Prompt, Text = C.Text](SetupPageSession& S) -> Action {
        if (RowWith(S.Screen_, Prompt).find("[" + Text + "]") != std::string::npos && S.Mark_ == 2)
          return {true, {}};
        if (S.Mark_ == 0) {
          S.Entered_ = true;
          S.Mark_ = 1;
          return {false, std::string(key::kEnter)};
        }
        if (S.Mark_ == 1) {
          S.Mark_ = 2;
          return {false, Text + std::string(key::kEnter)};
        }
        return {};
      };
      break;
    case PageKeystrokes::Input::Option:
      Waits = "<" + C.Text + ">";
      Set = [Prompt, Text = C.Text](SetupPageSession& S) -> Action {
        if (S.Mark_ == 0) {
          S.Entered_ = true;
          S.Mark_ = 1;
          return {false, std::string(key::kEnter)};
        }
        if (S.Mark_ == 1) {
          // The list is open: move to the option, then take it.
          if (Highlighted(S.Screen_, Text, screen::kListHighlight)) {
            S.Mark_ = 2;
            return {false, std::string(key::kEnter)};
          }
          if (++S.Moves_ > bound::kMaxMoves)
            return {};
          return {false, std::string(key::kDown)};
        }
        return {RowWith(S.Screen_, Prompt).find("<" + Text + ">") != std::string::npos, {}};
      };
      break;
    }
    Steps_.push_back({"set \"" + Prompt + "\"", "\"" + Prompt + "\" with " + Waits, bound::kScreen,
                      Select(Prompt, screen::kMenuHighlight, Set)});
  }
  Steps_.push_back({"save with F10", "\"" + std::string(screen::kSaveQuestion) + "\" answered",
                    bound::kScreen, [](SetupPageSession& S) -> Action {
                      if (S.Mark_ == 0) {
                        S.Outcome_.Chosen = S.Screen_.Text(true);
                        S.Mark_ = 1;
                        return {false, std::string(key::kF10)};
                      }
                      if (S.Mark_ == 1 && S.Screen_.Shows(screen::kSaveQuestion)) {
                        S.Mark_ = 2;
                        return {false, std::string(key::kConfirm)};
                      }
                      S.Outcome_.Saved = S.Mark_ == 2 && !S.Screen_.Shows(screen::kSaveQuestion);
                      return {S.Outcome_.Saved, {}};
                    }});
  Steps_.push_back({"go back to the front page", "Setup's front page", bound::kScreen,
                    [](SetupPageSession& S) -> Action {
                      if (S.Screen_.Shows(screen::kFrontPage) && S.Screen_.Shows(screen::kReset))
                        return {true, {}};
                      return {false, std::string(key::kEscape)};
                    }});
  Steps_.push_back({"reset", "the front page's Reset taken", bound::kScreen,
                    Select(std::string(screen::kReset), screen::kMenuHighlight,
                           [](SetupPageSession& S) -> Action {
                             S.Outcome_.Reset = true;
                             ++S.Outcome_.Boots;
                             S.Stream_.clear();
                             return {true, std::string(key::kEnter)};
                           })});
  Steps_.push_back({"run `" + Script_.ShellCommand + "` after the reset",
                    "the Shell prompt, then the command's answer",
                    std::chrono::duration_cast<std::chrono::seconds>(bound::kBootToShell),
                    [](SetupPageSession& S) -> Action {
                      const std::string_view Prompt = kShellPrompt;
                      if (S.Mark_ == 0) {
                        if (S.Stream_.find(Prompt) != std::string::npos) {
                          S.Mark_ = 2;
                          S.Entered_ = true;
                          S.AnswerFrom_ = S.Stream_.size();
                          return {false, S.Script_.ShellCommand + std::string(key::kEnter)};
                        }
                        if (!S.Entered_ &&
                            S.Stream_.find(screen::kStartupPrompt) != std::string::npos) {
                          S.Entered_ = true;
                          return {false, std::string(key::kSkipStartup)};
                        }
                        return {};
                      }
                      const size_t From = S.AnswerFrom_;
                      const size_t Next = S.Stream_.find(Prompt, From);
                      if (Next == std::string::npos)
                        return {};
                      S.Outcome_.ShellAnswer = S.Stream_.substr(From, Next - From);
                      return {true, {}};
                    }});
}

ConsoleTurn SetupPageSession::Feed(std::string_view Output, Clock::time_point Now) {
  ConsoleTurn Turn;
  if (!Started_) {
    Started_ = true;
    StepStart_ = LastOutput_ = LastKey_ = Now;
  }
  if (!Output.empty()) {
    Screen_.Feed(Output);
    Stream_.append(Output);
    LastOutput_ = Now;
  }
  if (Current_ >= Steps_.size() || !Outcome_.Failure.empty()) {
    Turn.Done = true;
    return Turn;
  }
  const Step& S = Steps_[Current_];
  if (Now - StepStart_ > S.Bound) {
    Outcome_.Failure =
        S.Name + ": did not see " + S.Waits + " within " + std::to_string(S.Bound.count()) + " s";
    Outcome_.LastScreen = Screen_.Text(true);
    Turn.Done = true;
    return Turn;
  }
  // Read the screen only once it has settled after the last key, and while
  // booting towards Setup, press Escape at a steady pace.
  const auto Settle = Current_ == 0 ? bound::kEscapeEvery : bound::kSettle;
  if (Now - LastOutput_ < bound::kSettle || Now - LastKey_ < Settle) {
    if (Current_ != 0 || Now - LastKey_ < bound::kEscapeEvery)
      return Turn;
  }
  Now_ = Now;
  const Step::Action A = S.Next(*this);
  if (!Outcome_.Failure.empty()) {
    Outcome_.Failure = S.Name + ": " + Outcome_.Failure;
    Outcome_.LastScreen = Screen_.Text(true);
    Turn.Done = true;
    return Turn;
  }
  Turn.Type = A.Keys;
  if (!A.Keys.empty())
    LastKey_ = Now;
  if (A.Done) {
    ++Current_;
    StepStart_ = Now;
    Moves_ = 0;
    Entered_ = false;
    Mark_ = 0;
    Turn.Done = Current_ >= Steps_.size();
  }
  return Turn;
}

} // namespace ovmf
