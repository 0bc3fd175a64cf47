// SPDX-License-Identifier: BSD-2-Clause-Patent
// Driving Setup with a clock and console output made up here: the keys sent
// for the screens seen, the Shell fallback when the hot key was missed, and a
// step that does not see its screen failing within its bound with the last
// screen kept.
#include <gtest/gtest.h>

#include "ovmf/SetupPageSession.h"

namespace {

using namespace std::chrono_literals;
using ovmf::SetupPageSession;

ovmf::SetupPageScript Script() {
  ovmf::SetupPageScript S;
  S.Entry = "F81216a Super I/O";
  S.FirstPrompt = "Logical device 8";
  S.ShellCommand = "dmpstore X";
  return S;
}

// The front page as the firmware draws it: Device Manager plain (black on
// grey) or highlighted (grey on black).
std::string FrontPage(bool DeviceManagerHighlighted) {
  return std::string("\x1b[2J\x1b[0m\x1b[30m\x1b[47m\x1b[08;04HSelect Language") +
         (DeviceManagerHighlighted ? "\x1b[0m\x1b[37m\x1b[40m" : "") +
         "\x1b[10;04HDevice Manager\x1b[0m\x1b[30m\x1b[47m\x1b[15;04HReset";
}

TEST(SetupPageSession, PressesEscapeThenMovesToDeviceManagerAndEntersIt) {
  SetupPageSession S(Script());
  auto T = SetupPageSession::Clock::time_point{};
  S.Feed("", T);
  EXPECT_EQ(S.Feed("", T += 600ms).Type, "\x1b");
  S.Feed(FrontPage(false), T += 100ms);
  // The front page shown: the next step moves the highlight down to Device
  // Manager, then enters it.
  S.Feed("", T += 1s);
  EXPECT_EQ(S.Feed("", T += 1s).Type, "\x1b[B");
  S.Feed(FrontPage(true), T += 100ms);
  EXPECT_EQ(S.Feed("", T += 1s).Type, "\r");
  EXPECT_TRUE(S.Outcome().Failure.empty());
}

TEST(SetupPageSession, AsksTheShellForSetupAtTheNextBootWhenTheHotKeyWasMissed) {
  SetupPageSession S(Script());
  auto T = SetupPageSession::Clock::time_point{};
  S.Feed("", T);
  S.Feed("UEFI Interactive Shell v2.2\r\nShell> ", T += 100ms);
  const auto Turn = S.Feed("", T += 1s);
  EXPECT_NE(Turn.Type.find("setvar OsIndications"), std::string::npos);
  EXPECT_NE(Turn.Type.find("reset\r"), std::string::npos);
  EXPECT_EQ(S.Outcome().Boots, 2u);
  // No Escape after that: it would clear the Shell's line.
  for (int I = 0; I < 10; ++I)
    EXPECT_EQ(S.Feed("", T += 1s).Type, "");
}

TEST(SetupPageSession, AStepThatDoesNotSeeItsScreenFailsWithinItsBound) {
  SetupPageSession S(Script());
  auto T = SetupPageSession::Clock::time_point{};
  S.Feed("", T);
  S.Feed("BdsDxe: loading Boot0001", T += 1s);
  bool Done = false;
  for (int I = 0; I < 200 && !Done; ++I)
    Done = S.Feed("", T += 1s).Done;
  ASSERT_TRUE(Done);
  EXPECT_LE(T - SetupPageSession::Clock::time_point{}, 125s);
  EXPECT_NE(S.Outcome().Failure.find("enter Setup"), std::string::npos) << S.Outcome().Failure;
  EXPECT_NE(S.Outcome().LastScreen.find("BdsDxe"), std::string::npos);
  EXPECT_FALSE(S.Outcome().Done());
}

} // namespace
