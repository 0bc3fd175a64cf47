// SPDX-License-Identifier: BSD-2-Clause-Patent
// Lets the module's own configuration-port code (discovery, register reads,
// device select, exit key) drive a PortAccess, so that `sio inspect` makes
// exactly the accesses the module makes. While the bridge lives, the module's
// port operations go to Ports; every access asked for is recorded. The bridge
// stops at the first failed access, at an exception thrown by Ports, or, with
// a SignalHold, at a held signal pending before an access: from then on no
// access reaches Ports (reads answer all ones), and the reason is kept for
// the caller, who checks it between the module's operations.
#pragma once

#include <exception>
#include <optional>

#include "board/IoBus.h"
#include "engine/HostPortIo.h"
#include "inspect/PortAccess.h"
#include "inspect/SignalHold.h"
#include "pi/Trace.h"

namespace inspect {

class ModulePortBridge {
public:
  explicit ModulePortBridge(PortAccess& Ports, const SignalHold* Hold = nullptr);
  ModulePortBridge(const ModulePortBridge&) = delete;
  ModulePortBridge& operator=(const ModulePortBridge&) = delete;

  // Every access asked for through the bridge, in order (reads with the value
  // got), those after the stop included.
  const pi::Trace& Accesses() const { return Log_; }
  bool Stopped() const { return Device_.Failure.has_value(); }
  // How many accesses went out to Ports (the failed one included).
  size_t Attempts() const { return Device_.Attempts; }
  // Why it stopped: the failed access, the signal, or the exception's text.
  const std::optional<sio::Error>& Failure() const { return Device_.Failure; }
  // The exception Ports threw, to be thrown on once the chip is put back.
  std::exception_ptr Thrown() const { return Device_.Thrown; }

private:
  // Decodes every one-byte access and forwards it to the ports.
  struct Forwarder final : board::IoDevice {
    Forwarder(PortAccess& Ports, const SignalHold* Hold) : Ports(Ports), Hold(Hold) {}
    bool Decodes(uint16_t, uint8_t Width) const override { return Width == 1; }
    uint32_t Read(uint16_t Port, uint8_t Width) override;
    void Write(uint16_t Port, uint8_t Width, uint32_t Value) override;
    // False once stopped; checks for a held signal before each access.
    bool MayAccess();
    void Stop(std::exception_ptr Exception);
    PortAccess& Ports;
    const SignalHold* Hold;
    std::optional<sio::Error> Failure;
    std::exception_ptr Thrown;
    size_t Attempts = 0;
  };

  pi::Trace Log_;
  Forwarder Device_;
  board::IoBus Bus_;
  engine::ScopedPortBus Route_;
};

} // namespace inspect
