#include "packaging/Depex.h"

#include <algorithm>
#include <cctype>

namespace packaging {

DepexWriter& DepexWriter::Push(const pi::Guid& Ppi) {
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

std::optional<DepexChoice> ParseDepexChoice(std::string_view Name) {
  std::string Upper(Name);
  std::transform(Upper.begin(), Upper.end(), Upper.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  for (DepexChoice C : {DepexChoice::VariablePpi, DepexChoice::True, DepexChoice::False}) {
    if (Upper == DepexChoiceName(C))
      return C;
  }
  return std::nullopt;
}

std::string_view DepexChoiceName(DepexChoice Choice) {
  switch (Choice) {
  case DepexChoice::VariablePpi:
    return "VARIABLE_PPI";
  case DepexChoice::True:
    return "TRUE";
  case DepexChoice::False:
    return "FALSE";
  }
  return "?";
}

std::vector<uint8_t> EncodeDepex(DepexChoice Choice) {
  DepexWriter W;
  switch (Choice) {
  case DepexChoice::VariablePpi:
    W.Push(board::kReadOnlyVariable2PpiGuid);
    break;
  case DepexChoice::True:
    W.True();
    break;
  case DepexChoice::False:
    W.False();
    break;
  }
  return W.Finish();
}

std::string CheckPeiDepex(std::span<const uint8_t> Code) {
  size_t Depth = 0;
  for (size_t I = 0; I < Code.size(); ++I) {
    const uint8_t Op = Code[I];
    switch (Op) {
    case depex_op::kPush:
      if (Code.size() - I - 1 < 16)
        return "PUSH at byte " + std::to_string(I) + " lacks its GUID";
      I += 16;
      ++Depth;
      break;
    case depex_op::kTrue:
    case depex_op::kFalse:
      ++Depth;
      break;
    case depex_op::kNot:
      if (Depth < 1)
        return "NOT at byte " + std::to_string(I) + " has no operand";
      break;
    case depex_op::kAnd:
    case depex_op::kOr:
      if (Depth < 2)
        return "AND/OR at byte " + std::to_string(I) + " lacks an operand";
      --Depth;
      break;
    case depex_op::kEnd:
      if (I + 1 != Code.size())
        return "bytes after END";
      if (Depth != 1)
        return "END leaves " + std::to_string(Depth) + " values, not one";
      return {};
    case depex_op::kBefore:
    case depex_op::kAfter:
    case depex_op::kSor:
      return "opcode " + std::to_string(Op) + " at byte " + std::to_string(I) +
             " is not allowed in a PEI expression";
    default:
      return "unknown opcode " + std::to_string(Op) + " at byte " + std::to_string(I);
    }
  }
  return "no END";
}

} // namespace packaging
