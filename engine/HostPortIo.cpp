// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "engine/HostPortIo.h"

#include "engine/HostBoardValues.h"

#include <cstdio>
#include <cstdlib>

#include "platform/PortIo.h"

namespace engine {
namespace {

thread_local board::IoBus* ActiveBus = nullptr;
thread_local const SioBoardConfig* ActiveConfig = nullptr;

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

ScopedBoardValues::ScopedBoardValues(const SioBoardConfig& Config) : Previous_(ActiveConfig) {
  ActiveConfig = &Config;
}
ScopedBoardValues::~ScopedBoardValues() {
  ActiveConfig = Previous_;
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

// Here with the port operations, which every host build of the pass links:
// the board record is the other half of the module's seam to its platform.
const SioBoardConfig* SioBoard() {
  return engine::ActiveConfig != nullptr ? engine::ActiveConfig : &SioBoardConfigDefaults;
}
