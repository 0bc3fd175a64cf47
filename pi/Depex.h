// SPDX-License-Identifier: BSD-2-Clause-Patent
// PEI dependency expressions: the postfix byte code the PEI Foundation
// evaluates before it dispatches a PEIM. A writer and a checker.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "common/Result.h"
#include "pi/Guid.h"

namespace pi {

namespace depex_op {
inline constexpr uint8_t kBefore = 0x00;
inline constexpr uint8_t kAfter = 0x01;
inline constexpr uint8_t kPush = 0x02;
inline constexpr uint8_t kAnd = 0x03;
inline constexpr uint8_t kOr = 0x04;
inline constexpr uint8_t kNot = 0x05;
inline constexpr uint8_t kTrue = 0x06;
inline constexpr uint8_t kFalse = 0x07;
inline constexpr uint8_t kEnd = 0x08;
inline constexpr uint8_t kSor = 0x09;
} // namespace depex_op

// Appends opcodes in postfix order; Finish() adds END and hands the code over.
class DepexWriter {
public:
  DepexWriter& Push(const Guid& Ppi);
  DepexWriter& And() { return Op(depex_op::kAnd); }
  DepexWriter& Or() { return Op(depex_op::kOr); }
  DepexWriter& Not() { return Op(depex_op::kNot); }
  DepexWriter& True() { return Op(depex_op::kTrue); }
  DepexWriter& False() { return Op(depex_op::kFalse); }
  std::vector<uint8_t> Finish();

private:
  DepexWriter& Op(uint8_t Code);
  std::vector<uint8_t> Code_;
};

// Checks that Code is an expression the PEI Foundation can evaluate: only PEI
// opcodes, whole PUSH operands, no stack underflow, END as the last byte with
// exactly one value left. The error says which byte is wrong.
sio::Result<void> CheckPeiDepex(std::span<const uint8_t> Code);

// The PPIs an expression PUSHes, in order of appearance (each once).
std::vector<Guid> DepexPpis(std::span<const uint8_t> Code);

// What the PEI Foundation would decide once every PPI for which Installed
// answers true is there and no other: the expression's value. An error for
// an expression CheckPeiDepex refuses.
sio::Result<bool> EvaluatePeiDepex(std::span<const uint8_t> Code,
                                   const std::function<bool(const Guid&)>& Installed);

} // namespace pi
