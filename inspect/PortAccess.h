// SPDX-License-Identifier: BSD-2-Clause-Patent
// One-byte I/O port access, the only way `sio inspect` reaches a chip: the
// running machine's ports through /dev/port, or the simulated board's bus.
#pragma once

#include <cstdint>

#include "common/Result.h"
#include "pi/Trace.h"

namespace inspect {

class PortAccess {
public:
  virtual ~PortAccess() = default;
  // The byte the device at Port returns.
  virtual sio::Result<uint8_t> Read(uint16_t Port) = 0;
  virtual sio::Result<void> Write(uint16_t Port, uint8_t Value) = 0;
};

// Passes every access on to Ports and records it, failed ones included (a
// failed read with the value 0xFF): what reached the ports, in order.
class RecordingPorts final : public PortAccess {
public:
  explicit RecordingPorts(PortAccess& Ports) : Ports_(Ports) {}
  sio::Result<uint8_t> Read(uint16_t Port) override {
    auto Got = Ports_.Read(Port);
    Record(pi::EventKind::IoRead, Port, Got ? *Got : 0xFFu);
    return Got;
  }
  sio::Result<void> Write(uint16_t Port, uint8_t Value) override {
    Record(pi::EventKind::IoWrite, Port, Value);
    return Ports_.Write(Port, Value);
  }
  const pi::Trace& Log() const { return Log_; }

private:
  void Record(pi::EventKind Kind, uint16_t Port, uint8_t Value) {
    pi::TraceEvent Event;
    Event.Kind = Kind;
    Event.Width = 1;
    Event.Port = Port;
    Event.Value = Value;
    Log_.push_back(std::move(Event));
  }
  PortAccess& Ports_;
  pi::Trace Log_;
};

} // namespace inspect
