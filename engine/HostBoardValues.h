// SPDX-License-Identifier: BSD-2-Clause-Patent
// The host build's board record: the defaults, or for the lifetime of a
// ScopedBoardValues the record it was given (an image's, read by the host).
#pragma once

#include "entry/SioBoardConfig.h"

namespace engine {

class ScopedBoardValues {
public:
  explicit ScopedBoardValues(const SioBoardConfig& Config);
  ~ScopedBoardValues();
  ScopedBoardValues(const ScopedBoardValues&) = delete;
  ScopedBoardValues& operator=(const ScopedBoardValues&) = delete;

private:
  const SioBoardConfig* Previous_;
};

} // namespace engine
