// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tests/support/TraceBuilder.h"

#include "chip/ExpectedPass.h"

namespace test {

using pi::EventKind;
using namespace chip;

TraceBuilder& TraceBuilder::Out8(uint16_t Port, uint8_t Value) {
  Events_.push_back({EventKind::IoWrite, 1, Port, Value, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::In8(uint16_t Port, uint8_t Value) {
  Events_.push_back({EventKind::IoRead, 1, Port, Value, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::EarlyWrites() {
  for (const auto& W : kEarlyWrites)
    Events_.push_back({EventKind::IoWrite, W.Width, W.Port, W.Value, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::EarlyWrites(const BoardValues& Board) {
  for (const auto& W : Board.EarlyWrites())
    Events_.push_back({EventKind::IoWrite, W.Width, W.Port, W.Value, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::InitScript(uint16_t P, const BoardValues& Board) {
  for (const auto& W : Board.Script())
    WriteReg(P, W.Reg, W.Value);
  return *this;
}

TraceBuilder& TraceBuilder::EnterConfig(uint16_t P) {
  return Out8(P, kEnterKey).Out8(P, kEnterKey);
}
TraceBuilder& TraceBuilder::ExitConfig(uint16_t P) {
  return Out8(P, kExitKey);
}

TraceBuilder& TraceBuilder::WriteReg(uint16_t P, uint8_t Reg, uint8_t Value) {
  return Out8(P, Reg).Out8(DataPort(P), Value);
}

TraceBuilder& TraceBuilder::ReadReg(uint16_t P, uint8_t Reg, uint8_t Value) {
  return Out8(P, Reg).In8(DataPort(P), Value);
}

TraceBuilder& TraceBuilder::ProbeMatch(uint16_t P) {
  return EnterConfig(P)
      .ReadReg(P, kRegChipIdHigh, kChipIdHigh)
      .ReadReg(P, kRegChipIdLow, kChipIdLow);
}

TraceBuilder& TraceBuilder::ProbeMiss(uint16_t P, uint8_t FirstByte) {
  return EnterConfig(P).ReadReg(P, kRegChipIdHigh, FirstByte);
}

TraceBuilder& TraceBuilder::InitScript(uint16_t P) {
  for (const auto& W : kInitScript)
    WriteReg(P, W.Reg, W.Value);
  return *this;
}

TraceBuilder& TraceBuilder::Ld8Entry(uint16_t P, uint8_t ModeBefore, uint8_t ModeAfter,
                                     uint8_t Param0) {
  for (const auto& Step : kLd8Sequence) {
    uint8_t Value = 0;
    switch (Step.Value) {
    case Ld8Value::Device:
      Value = kLd8;
      break;
    case Ld8Value::Active:
      Value = kLd8Active;
      break;
    case Ld8Value::ModeBefore:
      Value = ModeBefore;
      break;
    case Ld8Value::ModeAfter:
      Value = ModeAfter;
      break;
    case Ld8Value::Param0:
      Value = Param0;
      break;
    }
    switch (Step.Op) {
    case Ld8Op::Write:
      WriteReg(P, Step.Reg, Value);
      break;
    case Ld8Op::Read:
      ReadReg(P, Step.Reg, Value);
      break;
    case Ld8Op::WriteBack:
      Out8(DataPort(P), Value);
      break;
    }
  }
  return *this;
}

TraceBuilder& TraceBuilder::Service(EventKind Kind, uint32_t Status) {
  Events_.push_back({Kind, 0, 0, 0, Status, {}});
  return *this;
}

pi::Trace PortAccesses(const pi::Trace& Events) {
  pi::Trace Out;
  for (const auto& E : Events) {
    if (E.IsPortAccess())
      Out.push_back(E);
  }
  return Out;
}

pi::Trace Skeleton(const pi::Trace& Events) {
  pi::Trace Out = Events;
  for (auto& E : Out)
    E.Call = {};
  return Out;
}

std::string Dump(const pi::Trace& Events) {
  std::string Text;
  for (const auto& E : Events)
    Text += "  " + pi::FormatEvent(E) + "\n";
  return Text;
}

} // namespace test
