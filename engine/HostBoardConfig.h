// SPDX-License-Identifier: BSD-2-Clause-Patent
// The host build's board record: the defaults, or for the lifetime of a
// ScopedBoardConfig the record it was given (an image's, read by the host).
#pragma once

#include "entry/SioBoardConfig.h"

namespace engine {

class ScopedBoardConfig {
public:
  explicit ScopedBoardConfig(const SioBoardConfig& Config);
  ~ScopedBoardConfig();
  ScopedBoardConfig(const ScopedBoardConfig&) = delete;
  ScopedBoardConfig& operator=(const ScopedBoardConfig&) = delete;

private:
  const SioBoardConfig* Previous_;
};

} // namespace engine
