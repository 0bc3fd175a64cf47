// SPDX-License-Identifier: BSD-2-Clause-Patent
// The chip's page of the firmware's Setup, described once: its formset, the
// EFI variable its questions live in, and each question with its prompt,
// help, place in the variable (chip/SetupLayout.h), range or options and
// default. The encoder (hii/HiiEncoder.h) turns it into the form and string
// packages the setup driver registers; the .vfr and .uni the EDK2 package
// ships are written from it too.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "pi/Guid.h"

namespace hii {

enum class QuestionKind : uint8_t { Checkbox, Numeric, OneOf };

struct OneOfOption {
  std::string_view Text;
  uint8_t Value;
};

// One question over one byte of the variable.
struct Question {
  QuestionKind Kind;
  uint16_t Id;           // question id, unique in the formset
  uint16_t Offset;       // byte of the variable it edits
  std::string_view Name; // the VFR name of the variable's field
  std::string_view Prompt;
  std::string_view Help;
  uint8_t Default;
  // Numeric: the range and step, shown in hexadecimal when Hex.
  uint8_t Minimum = 0;
  uint8_t Maximum = 0;
  uint8_t Step = 0;
  bool Hex = false;
  std::span<const OneOfOption> Options = {}; // one-of only
};

struct SetupPage {
  pi::Guid FormSetGuid; // also the package list's GUID and the driver's device path
  pi::Guid ClassGuid;   // the Setup class that lists it
  std::string_view Title;
  std::string_view Help;
  uint16_t FormId;
  // The varstore: an EFI variable.
  uint16_t VarStoreId;
  std::string_view VariableName; // ASCII
  pi::Guid VariableGuid;
  uint32_t VariableAttributes;
  uint16_t VariableSize;
  std::string_view Language;     // RFC 4646, as the string package names it
  std::string_view LanguageName; // the language's own name: string 1
  std::span<const Question> Questions;
};

// The page of the F81216a: the first entry of "SioF81216aSetup00" as the
// logical-device-8 entry the module applies.
const SetupPage& ChipSetupPage();

} // namespace hii
