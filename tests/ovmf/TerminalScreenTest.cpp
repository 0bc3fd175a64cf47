// SPDX-License-Identifier: BSD-2-Clause-Patent
// The serial console's bytes turned into a screen: cursor moves, clearing,
// colours kept per cell, box drawing, sequences split between reads, and
// input that must not write outside the screen.
#include <gtest/gtest.h>

#include <string>

#include "ovmf/TerminalScreen.h"

namespace {

using ovmf::TerminalScreen;

TEST(TerminalScreen, DrawsWhatTheSequencesSay) {
  struct Case {
    const char* What;
    std::string Bytes;
    std::string Text;
  } Cases[] = {
      {"text, CR LF", "ab\r\ncd", "ab\ncd\n"},
      {"position is 1-based row;column", "\x1b[3;5HX", "\n\n    X\n"},
      {"position without numbers is the corner", "zz\x1b[HY", "Yz\n"},
      {"forward and back", "a\x1b[003Cb\x1b[002Dc", "a  cb\n"},
      {"clear screen keeps the cursor", "abc\x1b[2Jd", "   d\n"},
      {"backspace", "ab\bc", "ac\n"},
      {"box drawing as ASCII", "\xda\xc4\xbf\r\n\xb3 \xb3", "+-+\n| |\n"},
      {"a line at the right edge wraps", std::string(82, 'x'), std::string(80, 'x') + "\nxx\n"},
      {"bytes after ESC that are no sequence", "\x1bXab", "ab\n"},
      {"cursor show/hide and mode sequences draw nothing", "\x1b[?25l\x1b[=3hq", "q\n"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    TerminalScreen S;
    S.Feed(C.Bytes);
    EXPECT_EQ(S.Text(), C.Text);
  }
}

// Serial reads end anywhere: one byte at a time must draw the same screen.
TEST(TerminalScreen, SequencesSplitAcrossReadsDrawTheSame) {
  const std::string Bytes =
      "\x1b[0m\x1b[37m\x1b[40m\x1b[2J\x1b[005;010HDevice Manager\x1b[1m\x1b[30m\x1b[47m"
      "\x1b[006;010HF81216a Super I/O";
  TerminalScreen Whole, Bytewise;
  Whole.Feed(Bytes);
  for (char C : Bytes)
    Bytewise.Feed(std::string(1, C));
  EXPECT_EQ(Whole.Text(), Bytewise.Text());
  EXPECT_EQ(Bytewise.Line(5), "         F81216a Super I/O");
  EXPECT_EQ(Bytewise.Clears(), 1u);
}

// The highlighted item is told by its colours.
TEST(TerminalScreen, KeepsTheAttributeEachCellWasWrittenWith) {
  TerminalScreen S;
  S.Feed("\x1b[0m\x1b[30m\x1b[47m\x1b[1;1Hplain\x1b[1m\x1b[37m\x1b[40m\x1b[2;1Hhigh");
  EXPECT_EQ(S.AttributeAt(0, 0), (ovmf::CellAttribute{30, 47, false}));
  EXPECT_EQ(S.AttributeAt(1, 0), (ovmf::CellAttribute{37, 40, true}));
  EXPECT_NE(S.AttributeAt(0, 4), S.AttributeAt(1, 3));
  EXPECT_EQ(S.FindRow("high"), 1u);
  EXPECT_EQ(S.FindRow("plain", 1), std::nullopt);
}

// Positions past the edges, huge counts, a resize and a runaway sequence stay
// inside the screen.
TEST(TerminalScreen, HostileInputStaysOnTheScreen) {
  TerminalScreen S;
  S.Feed("\x1b[999;999HA\x1b[99999999999D\x1b[99999CB\x1b[0;0HC");
  EXPECT_EQ(S.Line(0), "C");
  EXPECT_EQ(S.Line(24).back(), 'B');
  S.Feed("\x1b[8;31;100t");
  EXPECT_EQ(S.Rows(), 31u);
  EXPECT_EQ(S.Columns(), 100u);
  S.Feed("\x1b[8;0;0t\x1b[8;99999;99999t");
  EXPECT_LE(S.Rows(), 256u);
  S.Feed("\x1b[" + std::string(100, '1') + "Z");
  EXPECT_EQ(S.CursorRow(), 0u);
  S.Feed("ok");
  EXPECT_EQ(S.Line(0), "ok");
  // The last row scrolls the screen up.
  TerminalScreen Small(2, 4);
  Small.Feed("ab\r\ncd\r\nef");
  EXPECT_EQ(Small.Text(), "cd\nef\n");
}

TEST(TerminalScreen, SqueezesBlankRowsToOne) {
  TerminalScreen S;
  S.Feed("\x1b[2;1Ha\x1b[3;1Hb\x1b[9;1Hc\x1b[11;1Hd");
  EXPECT_EQ(S.Text(true), "\na\nb\n\nc\n\nd\n");
  EXPECT_EQ(S.Text(), "\na\nb\n\n\n\n\n\nc\n\nd\n");
}

} // namespace
