// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/TerminalScreen.h"

#include <algorithm>
#include <charconv>

namespace ovmf {
namespace {

constexpr char kEscape = '\x1b';
// An escape sequence longer than this is no sequence the terminal driver
// sends: it is dropped up to its final letter rather than held forever.
constexpr size_t kMaxSequence = 32;
constexpr size_t kMaxSide = 256;

// The PC code page's line and block bytes the terminal driver sends for box
// drawing, as ASCII: horizontal lines, vertical lines, the rest (corners,
// tees, crossings, blocks).
char BoxDrawingAscii(unsigned char Byte) {
  switch (Byte) {
  case 0xC4:
  case 0xCD:
    return '-';
  case 0xB3:
  case 0xBA:
    return '|';
  default:
    return Byte >= 0xB0 && Byte <= 0xDF ? '+' : '?';
  }
}

// The numbers of "8;25;80" (empty fields and a leading '?' or '=' as 0s).
std::vector<unsigned> Numbers(std::string_view Params) {
  std::vector<unsigned> Out;
  size_t Start = 0;
  while (Start <= Params.size()) {
    const size_t End = std::min(Params.find(';', Start), Params.size());
    unsigned Value = 0;
    std::from_chars(Params.data() + Start, Params.data() + End, Value);
    Out.push_back(Value);
    Start = End + 1;
  }
  return Out;
}

} // namespace

TerminalScreen::TerminalScreen(size_t Rows, size_t Columns) {
  Resize(Rows, Columns);
}

void TerminalScreen::Resize(size_t Rows, size_t Columns) {
  Rows_ = std::clamp<size_t>(Rows, 1, kMaxSide);
  Columns_ = std::clamp<size_t>(Columns, 1, kMaxSide);
  Cells_.assign(Rows_ * Columns_, Cell{});
  Row_ = Column_ = 0;
}

void TerminalScreen::Clear() {
  std::fill(Cells_.begin(), Cells_.end(), Cell{' ', Current_});
  ++Clears_;
}

void TerminalScreen::LineFeed() {
  if (Row_ + 1 < Rows_) {
    ++Row_;
    return;
  }
  // At the last row the screen scrolls up one row.
  std::move(Cells_.begin() + static_cast<ptrdiff_t>(Columns_), Cells_.end(), Cells_.begin());
  std::fill(Cells_.end() - static_cast<ptrdiff_t>(Columns_), Cells_.end(), Cell{' ', Current_});
}

void TerminalScreen::Put(char C) {
  if (Column_ >= Columns_) {
    Column_ = 0;
    LineFeed();
  }
  Cells_[Row_ * Columns_ + Column_] = Cell{C, Current_};
  ++Column_;
}

void TerminalScreen::Control(std::string_view Params, char Final) {
  const std::string_view Digits =
      !Params.empty() && (Params[0] == '?' || Params[0] == '=') ? Params.substr(1) : Params;
  const std::vector<unsigned> N = Numbers(Digits);
  const auto Count = [&N] { return std::max<size_t>(N[0], 1); };
  switch (Final) {
  case 'H':
  case 'f': // 1-based row and column; missing ones are 1
    Row_ = std::min<size_t>(std::max<size_t>(N[0], 1), Rows_) - 1;
    Column_ = std::min<size_t>(std::max<size_t>(N.size() > 1 ? N[1] : 1, 1), Columns_) - 1;
    break;
  case 'C':
    Column_ = std::min(Column_ + Count(), Columns_ - 1);
    break;
  case 'D':
    Column_ -= std::min(Column_, Count());
    break;
  case 'A':
    Row_ -= std::min(Row_, Count());
    break;
  case 'B':
    Row_ = std::min(Row_ + Count(), Rows_ - 1);
    break;
  case 'J':
    if (N[0] == 2)
      Clear();
    break;
  case 'm':
    for (unsigned Code : N) {
      if (Code == 0)
        Current_ = CellAttribute{Current_.Foreground, Current_.Background, false};
      else if (Code == 1)
        Current_.Bright = true;
      else if (Code >= 30 && Code <= 37)
        Current_.Foreground = static_cast<uint8_t>(Code);
      else if (Code >= 40 && Code <= 47)
        Current_.Background = static_cast<uint8_t>(Code);
    }
    break;
  case 't':
    if (N.size() == 3 && N[0] == 8 && N[1] != 0 && N[2] != 0)
      Resize(N[1], N[2]);
    break;
  default: // cursor shown or hidden, modes: nothing on the screen changes
    break;
  }
}

void TerminalScreen::Feed(std::string_view Bytes) {
  const auto IsFinal = [](char C) { return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z'); };
  for (const char C : Bytes) {
    if (Discarding_) {
      Discarding_ = !IsFinal(C);
      continue;
    }
    if (!Pending_.empty()) {
      Pending_ += C;
      if (Pending_.size() == 2 && C != '[') {
        Pending_.clear(); // ESC and one more byte: not a sequence drawn here
        continue;
      }
      if (Pending_.size() > 2 && IsFinal(C)) {
        Control(std::string_view(Pending_).substr(2, Pending_.size() - 3), C);
        Pending_.clear();
      } else if (Pending_.size() > kMaxSequence) {
        Pending_.clear();
        Discarding_ = true;
      }
      continue;
    }
    const auto Byte = static_cast<unsigned char>(C);
    if (C == kEscape)
      Pending_ = C;
    else if (C == '\r')
      Column_ = 0;
    else if (C == '\n')
      LineFeed();
    else if (C == '\b')
      Column_ -= Column_ > 0 ? 1 : 0;
    else if (Byte >= 0x80)
      Put(BoxDrawingAscii(Byte));
    else if (Byte >= 0x20 && Byte < 0x7F)
      Put(C);
  }
}

std::string TerminalScreen::Line(size_t Row) const {
  std::string Text;
  if (Row >= Rows_)
    return Text;
  for (size_t C = 0; C < Columns_; ++C)
    Text += Cells_[Row * Columns_ + C].Char;
  Text.erase(Text.find_last_not_of(' ') + 1);
  return Text;
}

std::string TerminalScreen::Text(bool Squeeze) const {
  std::string Out;
  size_t Last = 0;
  for (size_t R = 0; R < Rows_; ++R)
    if (!Line(R).empty())
      Last = R + 1;
  bool Blank = false;
  for (size_t R = 0; R < Last; ++R) {
    const std::string Row = Line(R);
    if (Squeeze && Row.empty() && Blank)
      continue;
    Blank = Row.empty();
    Out += Row + "\n";
  }
  return Out;
}

CellAttribute TerminalScreen::AttributeAt(size_t Row, size_t Column) const {
  if (Row >= Rows_ || Column >= Columns_)
    return {};
  return Cells_[Row * Columns_ + Column].Attribute;
}

std::optional<size_t> TerminalScreen::FindRow(std::string_view Text, size_t From) const {
  for (size_t R = From; R < Rows_; ++R)
    if (Line(R).find(Text) != std::string::npos)
      return R;
  return std::nullopt;
}

} // namespace ovmf
