#include "inspect/ModulePortBridge.h"

namespace inspect {

ModulePortBridge::ModulePortBridge(PortAccess& Ports) : Device_(Ports), Bus_(Log_), Route_(Bus_) {
  Bus_.Attach(Device_);
}

uint32_t ModulePortBridge::Forwarder::Read(uint16_t Port, uint8_t Width) {
  if (Failure)
    return board::FloatingValue(Width);
  auto Got = Ports.Read(Port);
  if (!Got) {
    Failure = Got.Failure();
    return board::FloatingValue(Width);
  }
  return *Got;
}

void ModulePortBridge::Forwarder::Write(uint16_t Port, uint8_t, uint32_t Value) {
  if (Failure)
    return;
  auto Done = Ports.Write(Port, static_cast<uint8_t>(Value));
  if (!Done)
    Failure = Done.Failure();
}

} // namespace inspect
