// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/Depex.h"

#include <algorithm>
#include <string>

namespace pi {

DepexWriter& DepexWriter::Push(const Guid& Ppi) {
  Code_.push_back(depex_op::kPush);
  Code_.insert(Code_.end(), Ppi.begin(), Ppi.end());
  return *this;
}

DepexWriter& DepexWriter::Op(uint8_t Code) {
  Code_.push_back(Code);
  return *this;
}

std::vector<uint8_t> DepexWriter::Finish() {
  Code_.push_back(depex_op::kEnd);
  return std::move(Code_);
}

sio::Result<void> CheckPeiDepex(std::span<const uint8_t> Code) {
  size_t Depth = 0;
  for (size_t I = 0; I < Code.size(); ++I) {
    const uint8_t Op = Code[I];
    const std::string At = " at byte " + std::to_string(I);
    switch (Op) {
    case depex_op::kPush:
      if (Code.size() - I - 1 < sizeof(Guid))
        return sio::Fail("PUSH" + At + " lacks its GUID");
      I += sizeof(Guid);
      ++Depth;
      break;
    case depex_op::kTrue:
    case depex_op::kFalse:
      ++Depth;
      break;
    case depex_op::kNot:
      if (Depth < 1)
        return sio::Fail("NOT" + At + " has no operand");
      break;
    case depex_op::kAnd:
    case depex_op::kOr:
      if (Depth < 2)
        return sio::Fail("AND/OR" + At + " lacks an operand");
      --Depth;
      break;
    case depex_op::kEnd:
      if (I + 1 != Code.size())
        return sio::Fail("bytes after END");
      if (Depth != 1)
        return sio::Fail("END leaves " + std::to_string(Depth) + " values, not one");
      return {};
    case depex_op::kBefore:
    case depex_op::kAfter:
    case depex_op::kSor:
      return sio::Fail("opcode " + std::to_string(Op) + At + " is not allowed in a PEI expression");
    default:
      return sio::Fail("unknown opcode " + std::to_string(Op) + At);
    }
  }
  return sio::Fail("no END");
}

namespace {

Guid GuidAt(std::span<const uint8_t> Code, size_t At) {
  Guid G{};
  std::copy_n(Code.begin() + static_cast<ptrdiff_t>(At), G.size(), G.begin());
  return G;
}

} // namespace

std::vector<Guid> DepexPpis(std::span<const uint8_t> Code) {
  std::vector<Guid> Ppis;
  for (size_t I = 0; I < Code.size(); ++I) {
    if (Code[I] != depex_op::kPush)
      continue;
    if (Code.size() - I - 1 < sizeof(Guid))
      break;
    const Guid G = GuidAt(Code, I + 1);
    if (std::find(Ppis.begin(), Ppis.end(), G) == Ppis.end())
      Ppis.push_back(G);
    I += sizeof(Guid);
  }
  return Ppis;
}

sio::Result<bool> EvaluatePeiDepex(std::span<const uint8_t> Code,
                                   const std::function<bool(const Guid&)>& Installed) {
  if (auto Sound = CheckPeiDepex(Code); !Sound)
    return Sound.Failure();
  std::vector<bool> Stack;
  const auto Pop = [&Stack] {
    const bool Top = Stack.back();
    Stack.pop_back();
    return Top;
  };
  for (size_t I = 0; I < Code.size(); ++I) {
    switch (Code[I]) {
    case depex_op::kPush:
      Stack.push_back(Installed(GuidAt(Code, I + 1)));
      I += sizeof(Guid);
      break;
    case depex_op::kTrue:
      Stack.push_back(true);
      break;
    case depex_op::kFalse:
      Stack.push_back(false);
      break;
    case depex_op::kNot:
      Stack.push_back(!Pop());
      break;
    case depex_op::kAnd: {
      const bool B = Pop(), A = Pop();
      Stack.push_back(A && B);
      break;
    }
    case depex_op::kOr: {
      const bool B = Pop(), A = Pop();
      Stack.push_back(A || B);
      break;
    }
    default: // END: CheckPeiDepex saw one value left
      return static_cast<bool>(Stack.back());
    }
  }
  return static_cast<bool>(Stack.back());
}

} // namespace pi
