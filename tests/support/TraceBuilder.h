// SPDX-License-Identifier: BSD-2-Clause-Patent
// Expected traces written the way the hardware story reads: EnterConfig(P),
// WriteReg(P, 0x30, 0x01), ReadReg(P, 0x20, 0x02), ... The pass's own steps
// (early writes, probes, script, logical-device-8 sequence) come from its one
// statement, chip/ExpectedPass.h.
#pragma once

#include <cstdint>
#include <string>

#include "board/Board.h"
#include "chip/BoardValues.h"

namespace test {

// One port access of Width bytes, as a trace records it.
inline pi::TraceEvent Out(uint16_t Port, uint32_t Value, uint8_t Width = 1) {
  return {pi::EventKind::IoWrite, Width, Port, Value, 0, {}};
}
inline pi::TraceEvent In(uint16_t Port, uint32_t Value, uint8_t Width = 1) {
  return {pi::EventKind::IoRead, Width, Port, Value, 0, {}};
}

class TraceBuilder {
public:
  TraceBuilder& Out8(uint16_t Port, uint8_t Value);
  TraceBuilder& In8(uint16_t Port, uint8_t Value);
  TraceBuilder& EarlyWrites(); // POST code and LPC bridge decode
  // The early writes and the script of an image with these board values.
  TraceBuilder& EarlyWrites(const chip::BoardValues& Board);
  TraceBuilder& InitScript(uint16_t P, const chip::BoardValues& Board);
  TraceBuilder& EnterConfig(uint16_t P);
  TraceBuilder& ExitConfig(uint16_t P);
  TraceBuilder& WriteReg(uint16_t P, uint8_t Reg, uint8_t Value);
  TraceBuilder& ReadReg(uint16_t P, uint8_t Reg, uint8_t Value);
  // A full probe that matches (0x02, 0x16), or one that fails on register 0x20
  // reading FirstByte.
  TraceBuilder& ProbeMatch(uint16_t P);
  TraceBuilder& ProbeMiss(uint16_t P, uint8_t FirstByte = 0xFF);
  TraceBuilder& InitScript(uint16_t P);
  // The thirteen accesses that program logical device 8 from one entry.
  TraceBuilder& Ld8Entry(uint16_t P, uint8_t ModeBefore, uint8_t ModeAfter, uint8_t Param0);
  TraceBuilder& Service(pi::EventKind Kind, uint32_t Status);

  const pi::Trace& Events() const { return Events_; }

private:
  pi::Trace Events_;
};

// Port accesses only, or port accesses and service calls by kind and status
// (call records dropped), for comparing against a TraceBuilder trace.
pi::Trace PortAccesses(const pi::Trace& Events);
pi::Trace Skeleton(const pi::Trace& Events);

std::string Dump(const pi::Trace& Events);

} // namespace test
