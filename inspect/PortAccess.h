// One-byte I/O port access, the only way `sio inspect` reaches a chip: the
// running machine's ports through /dev/port, or the simulated board's bus.
#pragma once

#include <cstdint>

#include "common/Result.h"

namespace inspect {

class PortAccess {
public:
  virtual ~PortAccess() = default;
  // The byte the device at Port returns.
  virtual sio::Result<uint8_t> Read(uint16_t Port) = 0;
  virtual sio::Result<void> Write(uint16_t Port, uint8_t Value) = 0;
};

} // namespace inspect
