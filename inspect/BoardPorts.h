// SPDX-License-Identifier: BSD-2-Clause-Patent
// The simulated board's I/O bus as the ports `sio inspect` reads: every
// access goes to the board's devices and into the board's trace.
#pragma once

#include "board/IoBus.h"
#include "inspect/PortAccess.h"

namespace inspect {

class BoardPorts final : public PortAccess {
public:
  explicit BoardPorts(board::IoBus& Bus) : Bus_(Bus) {}
  sio::Result<uint8_t> Read(uint16_t Port) override {
    return static_cast<uint8_t>(Bus_.Read(Port, 1));
  }
  sio::Result<void> Write(uint16_t Port, uint8_t Value) override {
    Bus_.Write(Port, 1, Value);
    return {};
  }

private:
  board::IoBus& Bus_;
};

} // namespace inspect
