// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reads an HII package list as a Setup browser would: the formset, its EFI
// varstore and the one-byte questions of its forms (checkbox, numeric,
// one-of), their strings from the list's string package. What `sio setup`
// shows of a driver's registered list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "hii/SetupPage.h"
#include "pi/Guid.h"

namespace hii {

struct DecodedOption {
  std::string Text;
  uint8_t Value = 0;
  bool IsDefault = false;
};

struct DecodedQuestion {
  QuestionKind Kind = QuestionKind::Checkbox;
  uint16_t Id = 0;
  uint16_t VarStoreId = 0;
  uint16_t Offset = 0;
  std::string Prompt;
  std::string Help;
  std::optional<uint8_t> Default; // the standard default, when the IFR gives one
  uint8_t Minimum = 0, Maximum = 0, Step = 0;
  bool Hex = false;
  std::vector<DecodedOption> Options;
};

struct DecodedVarStore {
  uint16_t Id = 0;
  pi::Guid Guid{};
  uint32_t Attributes = 0;
  uint16_t Size = 0;
  std::string Name;
};

struct DecodedPage {
  pi::Guid ListGuid{};
  pi::Guid FormSetGuid{};
  std::vector<pi::Guid> ClassGuids;
  std::string Language;
  std::string Title;
  std::string Help;
  std::vector<DecodedVarStore> VarStores;
  std::vector<DecodedQuestion> Questions;
};

// Fails on a list whose lengths do not add up, an opcode that overruns its
// package, scopes that do not close, a string id the string package lacks, a
// question of a width or varstore this reader does not show, or no formset.
sio::Result<DecodedPage> DecodePackageList(std::span<const uint8_t> List);

} // namespace hii
