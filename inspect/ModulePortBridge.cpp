// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/ModulePortBridge.h"

namespace inspect {

ModulePortBridge::ModulePortBridge(PortAccess& Ports, const SignalHold* Hold)
    : Device_(Ports, Hold), Bus_(Log_), Route_(Bus_) {
  Bus_.Attach(Device_);
}

bool ModulePortBridge::Forwarder::MayAccess() {
  if (Failure)
    return false;
  if (int Signal = Hold ? Hold->Pending() : 0)
    Failure = sio::Fail(sio::ErrorKind::Failed, "interrupted by " + SignalName(Signal));
  Attempts += Failure ? 0 : 1;
  return !Failure;
}

void ModulePortBridge::Forwarder::Stop(std::exception_ptr Exception) {
  Thrown = Exception;
  try {
    std::rethrow_exception(Exception);
  } catch (const std::exception& Error) {
    Failure = sio::Fail(std::string("internal error: ") + Error.what());
  } catch (...) {
    Failure = sio::Fail("internal error");
  }
}

uint32_t ModulePortBridge::Forwarder::Read(uint16_t Port, uint8_t Width) {
  if (!MayAccess())
    return board::FloatingValue(Width);
  try {
    auto Got = Ports.Read(Port);
    if (Got)
      return *Got;
    Failure = Got.Failure();
  } catch (...) {
    Stop(std::current_exception());
  }
  return board::FloatingValue(Width);
}

void ModulePortBridge::Forwarder::Write(uint16_t Port, uint8_t, uint32_t Value) {
  if (!MayAccess())
    return;
  try {
    auto Done = Ports.Write(Port, static_cast<uint8_t>(Value));
    if (!Done)
      Failure = Done.Failure();
  } catch (...) {
    Stop(std::current_exception());
  }
}

} // namespace inspect
