// SPDX-License-Identifier: BSD-2-Clause-Patent
// The progress-code port 0x80: keeps every code written to it, of any width.
#pragma once

#include <cstdint>
#include <vector>

#include "board/IoBus.h"
#include "chip/PlatformPorts.h"

namespace board {

class PostCodePort final : public IoDevice {
public:
  static constexpr uint16_t kPort = chip::kPostCodePort;

  const std::vector<uint32_t>& Codes() const { return Codes_; }
  void Reset() { Codes_.clear(); }

  bool Decodes(uint16_t Port, uint8_t) const override { return Port == kPort; }
  uint16_t FirstPort() const override { return kPort; }
  uint16_t LastPort() const override { return kPort; }
  uint32_t Read(uint16_t, uint8_t Width) override { return FloatingValue(Width); }
  void Write(uint16_t, uint8_t, uint32_t Value) override { Codes_.push_back(Value); }

private:
  std::vector<uint32_t> Codes_;
};

} // namespace board
