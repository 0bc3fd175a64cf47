// Lets the module's own configuration-port code (discovery, register reads,
// device select, exit key) drive a PortAccess, so that `sio inspect` makes
// exactly the accesses the module makes. While the bridge lives, the module's
// port operations go to Ports; every access is recorded. After the first
// failed access no further access reaches Ports (reads answer all ones), and
// the failure is kept for the caller to report.
#pragma once

#include <optional>

#include "board/IoBus.h"
#include "board/Trace.h"
#include "engine/HostPortIo.h"
#include "inspect/PortAccess.h"

namespace inspect {

class ModulePortBridge {
public:
  explicit ModulePortBridge(PortAccess& Ports);
  ModulePortBridge(const ModulePortBridge&) = delete;
  ModulePortBridge& operator=(const ModulePortBridge&) = delete;

  // Every access made through the bridge, in order (reads with the value got).
  const board::Trace& Accesses() const { return Log_; }
  const std::optional<sio::Error>& Failure() const { return Device_.Failure; }

private:
  // Decodes every one-byte access and forwards it to the ports.
  struct Forwarder final : board::IoDevice {
    explicit Forwarder(PortAccess& Ports) : Ports(Ports) {}
    bool Decodes(uint16_t, uint8_t Width) const override { return Width == 1; }
    uint32_t Read(uint16_t Port, uint8_t Width) override;
    void Write(uint16_t Port, uint8_t Width, uint32_t Value) override;
    PortAccess& Ports;
    std::optional<sio::Error> Failure;
  };

  board::Trace Log_;
  Forwarder Device_;
  board::IoBus Bus_;
  engine::ScopedPortBus Route_;
};

} // namespace inspect
