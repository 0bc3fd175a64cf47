// SPDX-License-Identifier: BSD-2-Clause-Patent
// PCI configuration mechanism #1 (CONFIG_ADDRESS at 0xCF8, CONFIG_DATA at
// 0xCFC-0xCFF) with one function behind it: the LPC bridge at bus 0, device 31,
// function 0. Other functions read all ones and ignore writes.
#pragma once

#include <array>
#include <cstdint>

#include "board/IoBus.h"
#include "chip/PlatformPorts.h"

namespace board {

class LpcBridge final : public IoDevice {
public:
  static constexpr uint16_t kConfigAddressPort = chip::kPciConfigAddressPort;
  static constexpr uint16_t kConfigDataPort = chip::kPciConfigDataPort;
  static constexpr uint8_t kBus = chip::kLpcBridgeBus, kDevice = chip::kLpcBridgeDevice,
                           kFunction = chip::kLpcBridgeFunction;

  // Back to power-on: address latch and configuration space zero, nothing written.
  void Reset() {
    Address_ = 0;
    Space_.fill(0);
    Written_.fill(false);
  }

  uint32_t ConfigAddress() const { return Address_; }
  uint8_t ConfigByte(uint8_t Offset) const { return Space_[Offset]; }
  // Bytes of the bridge's configuration space written since reset.
  bool ConfigByteWritten(uint8_t Offset) const { return Written_[Offset]; }

  bool Decodes(uint16_t Port, uint8_t Width) const override;
  uint16_t FirstPort() const override { return kConfigAddressPort; }
  uint16_t LastPort() const override { return kConfigDataPort + 3; }
  uint32_t Read(uint16_t Port, uint8_t Width) override;
  void Write(uint16_t Port, uint8_t Width, uint32_t Value) override;

private:
  // Configuration-space offset of a CONFIG_DATA access at Port, when the
  // address latch is enabled and names the bridge.
  bool Target(uint16_t Port, uint8_t& Offset) const;

  uint32_t Address_ = 0;
  std::array<uint8_t, 256> Space_{};
  std::array<bool, 256> Written_{};
};

} // namespace board
