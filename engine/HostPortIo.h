// SPDX-License-Identifier: BSD-2-Clause-Patent
// The host build's port operations: every access goes to the I/O bus of the
// board the current pass runs on.
#pragma once

#include "board/IoBus.h"

namespace engine {

// Routes the module's port operations to Bus for the lifetime of the object.
class ScopedPortBus {
public:
  explicit ScopedPortBus(board::IoBus& Bus);
  ~ScopedPortBus();
  ScopedPortBus(const ScopedPortBus&) = delete;
  ScopedPortBus& operator=(const ScopedPortBus&) = delete;

private:
  board::IoBus* Previous_;
};

} // namespace engine
