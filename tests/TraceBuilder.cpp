#include "tests/TraceBuilder.h"

namespace test {

using board::EventKind;

TraceBuilder& TraceBuilder::Out8(uint16_t Port, uint8_t Value) {
  Events_.push_back({EventKind::IoWrite, 1, Port, Value, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::In8(uint16_t Port, uint8_t Value) {
  Events_.push_back({EventKind::IoRead, 1, Port, Value, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::EarlyWrites() {
  Events_.push_back({EventKind::IoWrite, 2, 0x80, 0x0070, 0, {}});
  Events_.push_back({EventKind::IoWrite, 4, 0xCF8, 0x8000F880, 0, {}});
  Events_.push_back({EventKind::IoWrite, 4, 0xCFC, 0x3F0F0017, 0, {}});
  return *this;
}

TraceBuilder& TraceBuilder::EnterConfig(uint16_t P) {
  return Out8(P, 0x77).Out8(P, 0x77);
}
TraceBuilder& TraceBuilder::ExitConfig(uint16_t P) {
  return Out8(P, 0xAA);
}

TraceBuilder& TraceBuilder::WriteReg(uint16_t P, uint8_t Reg, uint8_t Value) {
  return Out8(P, Reg).Out8(uint16_t(P + 1), Value);
}

TraceBuilder& TraceBuilder::ReadReg(uint16_t P, uint8_t Reg, uint8_t Value) {
  return Out8(P, Reg).In8(uint16_t(P + 1), Value);
}

TraceBuilder& TraceBuilder::ProbeMatch(uint16_t P) {
  return EnterConfig(P).ReadReg(P, 0x20, 0x02).ReadReg(P, 0x21, 0x16);
}

TraceBuilder& TraceBuilder::ProbeMiss(uint16_t P, uint8_t FirstByte) {
  return EnterConfig(P).ReadReg(P, 0x20, FirstByte);
}

TraceBuilder& TraceBuilder::InitScript(uint16_t P) {
  return WriteReg(P, 0x07, 0x00)
      .WriteReg(P, 0x25, 0x01)
      .WriteReg(P, 0x27, 0x10)
      .WriteReg(P, 0x30, 0x01)
      .WriteReg(P, 0x60, 0x03)
      .WriteReg(P, 0x61, 0xE8)
      .WriteReg(P, 0x70, 0x03)
      .WriteReg(P, 0x07, 0x01)
      .WriteReg(P, 0x30, 0x00)
      .WriteReg(P, 0x60, 0x00)
      .WriteReg(P, 0x61, 0x00)
      .WriteReg(P, 0x70, 0x00);
}

TraceBuilder& TraceBuilder::Ld8Entry(uint16_t P, uint8_t ModeBefore, uint8_t ModeAfter,
                                     uint8_t Param0) {
  return WriteReg(P, 0x07, 0x08)
      .WriteReg(P, 0x30, 0x01)
      .WriteReg(P, 0x07, 0x08)
      .ReadReg(P, 0xF0, ModeBefore)
      .Out8(uint16_t(P + 1), ModeAfter)
      .WriteReg(P, 0x07, 0x08)
      .WriteReg(P, 0xF1, Param0);
}

TraceBuilder& TraceBuilder::Service(EventKind Kind, uint32_t Status) {
  Events_.push_back({Kind, 0, 0, 0, Status, {}});
  return *this;
}

board::Trace PortAccesses(const board::Trace& Events) {
  board::Trace Out;
  for (const auto& E : Events) {
    if (E.IsPortAccess())
      Out.push_back(E);
  }
  return Out;
}

board::Trace Skeleton(const board::Trace& Events) {
  board::Trace Out = Events;
  for (auto& E : Out)
    E.Detail.clear();
  return Out;
}

std::string Dump(const board::Trace& Events) {
  std::string Text;
  for (const auto& E : Events)
    Text += "  " + board::FormatEvent(E) + "\n";
  return Text;
}

} // namespace test
