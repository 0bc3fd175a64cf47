#include "engine/HostPortIo.h"

#include <cstdio>
#include <cstdlib>

#include "platform/PortIo.h"

namespace engine {
namespace {

thread_local board::IoBus* ActiveBus = nullptr;

board::IoBus& Bus() {
  if (ActiveBus == nullptr) {
    std::fputs("port access outside a pass: no board attached\n", stderr);
    std::abort();
  }
  return *ActiveBus;
}

} // namespace

ScopedPortBus::ScopedPortBus(board::IoBus& Bus) : Previous_(ActiveBus) {
  ActiveBus = &Bus;
}
ScopedPortBus::~ScopedPortBus() {
  ActiveBus = Previous_;
}

} // namespace engine

UINT8 PortRead8(UINT16 Port) {
  return static_cast<UINT8>(engine::Bus().Read(Port, 1));
}
void PortWrite8(UINT16 Port, UINT8 Value) {
  engine::Bus().Write(Port, 1, Value);
}
void PortWrite16(UINT16 Port, UINT16 Value) {
  engine::Bus().Write(Port, 2, Value);
}
void PortWrite32(UINT16 Port, UINT32 Value) {
  engine::Bus().Write(Port, 4, Value);
}
