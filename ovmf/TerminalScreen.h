// SPDX-License-Identifier: BSD-2-Clause-Patent
// A screen of character cells fed with what the firmware's terminal driver
// sends on the serial console (PC-ANSI): text at the cursor, carriage
// return, line feed and backspace, and the control sequences ESC [ params
// letter (cursor position H, cursor forward C and back D, clear screen 2J,
// attributes m, resize 8;rows;cols t). Bytes of the PC code page's box
// drawing come out as ASCII ('-', '|', '+'). Each cell keeps the attribute it
// was written with, which tells the highlighted item of a menu.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovmf {

// The colours of a cell as the attribute sequences set them (ANSI codes:
// foreground 30-37, background 40-47, bright 1 or 0).
struct CellAttribute {
  uint8_t Foreground = 37;
  uint8_t Background = 40;
  bool Bright = false;
  bool operator==(const CellAttribute&) const = default;
};

class TerminalScreen {
public:
  explicit TerminalScreen(size_t Rows = 25, size_t Columns = 80);

  // Bytes as they arrive; a sequence split across two calls is completed by
  // the second.
  void Feed(std::string_view Bytes);

  size_t Rows() const { return Rows_; }
  size_t Columns() const { return Columns_; }
  size_t CursorRow() const { return Row_; }
  size_t CursorColumn() const { return Column_; }

  // One row's text, trailing blanks dropped.
  std::string Line(size_t Row) const;
  // Every row, each ending in a newline; blank rows at the end dropped, and
  // with Squeeze, each run of blank rows inside shown as one.
  std::string Text(bool Squeeze = false) const;
  CellAttribute AttributeAt(size_t Row, size_t Column) const;
  // The first row holding Text (from row From on), if any.
  std::optional<size_t> FindRow(std::string_view Text, size_t From = 0) const;
  // True when a row holds Text.
  bool Shows(std::string_view Text) const { return FindRow(Text).has_value(); }
  // Counts full redraws (clear screen): a menu drawn anew after a key.
  size_t Clears() const { return Clears_; }

private:
  struct Cell {
    char Char = ' ';
    CellAttribute Attribute;
  };
  void Resize(size_t Rows, size_t Columns);
  void Clear();
  void Put(char C);
  void LineFeed();
  void Control(std::string_view Params, char Final);

  size_t Rows_ = 0;
  size_t Columns_ = 0;
  std::vector<Cell> Cells_;
  size_t Row_ = 0;
  size_t Column_ = 0;
  CellAttribute Current_;
  std::string Pending_;     // an escape sequence not yet complete
  bool Discarding_ = false; // in a sequence too long to be one: up to its final letter
  size_t Clears_ = 0;
};

} // namespace ovmf
