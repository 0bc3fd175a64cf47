// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "hii/PageChoices.h"

#include <algorithm>

#include "common/Hex.h"
#include "common/Number.h"

namespace hii {

std::string ValueText(const DecodedQuestion& Question, uint8_t Value) {
  switch (Question.Kind) {
  case QuestionKind::Checkbox:
    return Value == 0 ? "Disabled" : Value == 1 ? "Enabled" : sio::Hex(Value, 2) + " (not 0 or 1)";
  case QuestionKind::Numeric:
    return Question.Hex ? sio::Hex(Value, 2) : std::to_string(Value);
  case QuestionKind::OneOf:
    for (const DecodedOption& O : Question.Options) {
      if (O.Value == Value)
        return O.Text;
    }
    return sio::Hex(Value, 2) + " (no option)";
  }
  return {};
}

sio::Result<uint8_t> ParseChoice(const DecodedQuestion& Question, std::string_view Value) {
  const std::string Where = "\"" + Question.Prompt + "\": ";
  switch (Question.Kind) {
  case QuestionKind::Checkbox:
    if (Value == "Enabled" || Value == "1")
      return uint8_t{1};
    if (Value == "Disabled" || Value == "0")
      return uint8_t{0};
    return sio::Fail(Where + "a checkbox takes Enabled or Disabled, not \"" + std::string(Value) +
                     "\"");
  case QuestionKind::Numeric: {
    auto Number = sio::ParseNumber(Value);
    if (!Number || *Number < Question.Minimum || *Number > Question.Maximum)
      return sio::Fail(Where + "takes a number from " + sio::Hex(Question.Minimum, 2) + " to " +
                       sio::Hex(Question.Maximum, 2) + ", not \"" + std::string(Value) + "\"");
    return static_cast<uint8_t>(*Number);
  }
  case QuestionKind::OneOf: {
    for (const DecodedOption& O : Question.Options) {
      if (O.Text == Value)
        return O.Value;
    }
    auto Number = sio::ParseNumber(Value);
    for (const DecodedOption& O : Question.Options) {
      if (Number && *Number == O.Value)
        return O.Value;
    }
    std::string Known;
    for (const DecodedOption& O : Question.Options)
      Known +=
          (Known.empty() ? "" : ", ") + ("\"" + O.Text + "\" (" + std::to_string(O.Value) + ")");
    return sio::Fail(Where + "no option \"" + std::string(Value) + "\" (options: " + Known + ")");
  }
  }
  return sio::Fail(Where + "not a question this tool sets");
}

sio::Result<void> ApplyChoice(const DecodedPage& Page, std::string_view Choice,
                              std::span<uint8_t> Data) {
  const size_t Equals = Choice.rfind('=');
  if (Equals == std::string_view::npos)
    return sio::Fail("\"" + std::string(Choice) + "\": give PROMPT=VALUE");
  const std::string_view Prompt = Choice.substr(0, Equals);
  auto Found = std::find_if(Page.Questions.begin(), Page.Questions.end(),
                            [&](const DecodedQuestion& Q) { return Q.Prompt == Prompt; });
  if (Found == Page.Questions.end()) {
    std::string Known;
    for (const DecodedQuestion& Q : Page.Questions)
      Known += (Known.empty() ? "\"" : ", \"") + Q.Prompt + "\"";
    return sio::Fail("no question \"" + std::string(Prompt) +
                     "\" on the page (questions: " + Known + ")");
  }
  auto Value = ParseChoice(*Found, Choice.substr(Equals + 1));
  if (!Value)
    return Value.Failure();
  if (Found->Offset >= Data.size())
    return sio::Fail("\"" + Found->Prompt + "\": offset " + std::to_string(Found->Offset) +
                     " outside the variable's " + std::to_string(Data.size()) + " bytes");
  Data[Found->Offset] = *Value;
  return {};
}

} // namespace hii
