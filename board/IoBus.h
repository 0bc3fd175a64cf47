// SPDX-License-Identifier: BSD-2-Clause-Patent
// The processor's I/O port space on the board: routes each access to the
// device that decodes the port and records it in the trace. A read that no
// device answers returns all ones (floating bus); a write nobody takes is lost.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pi/Trace.h"

namespace board {

class IoDevice {
public:
  virtual ~IoDevice() = default;
  // True when the device decodes an access of Width bytes at Port.
  virtual bool Decodes(uint16_t Port, uint8_t Width) const = 0;
  // The ports any access the device decodes starts at, First to Last: the bus
  // asks Decodes only about these. Fixed while the device is attached.
  virtual uint16_t FirstPort() const { return 0; }
  virtual uint16_t LastPort() const { return 0xFFFF; }
  virtual uint32_t Read(uint16_t Port, uint8_t Width) = 0;
  virtual void Write(uint16_t Port, uint8_t Width, uint32_t Value) = 0;
};

class IoBus {
public:
  explicit IoBus(pi::Trace& Log) : Log_(Log) {}

  void Attach(IoDevice& Device) {
    Devices_.push_back({Device.FirstPort(), Device.LastPort(), &Device});
    Decoded_.fill({});
  }
  void DetachAll() {
    Devices_.clear();
    Decoded_.fill({});
  }

  uint32_t Read(uint16_t Port, uint8_t Width);
  void Write(uint16_t Port, uint8_t Width, uint32_t Value);

private:
  IoDevice* Find(uint16_t Port, uint8_t Width);
  void Record(pi::EventKind Kind, uint16_t Port, uint8_t Width, uint32_t Value);

  struct Attached {
    uint16_t First, Last;
    IoDevice* Device;
  };

  // The device found for recent (port, width) pairs, direct-mapped by port: a
  // pass touches a handful of ports many times. What a device decodes is fixed
  // while it is attached, so only Attach and DetachAll invalidate it.
  struct Decoded {
    bool Valid = false;
    uint8_t Width = 0;
    uint16_t Port = 0;
    IoDevice* Device = nullptr;
  };

  pi::Trace& Log_;
  std::vector<Attached> Devices_;
  std::array<Decoded, 16> Decoded_{};
};

// All ones of the access width.
inline constexpr uint32_t FloatingValue(uint8_t Width) {
  return Width >= 4 ? 0xFFFFFFFFu : (1u << (Width * 8)) - 1u;
}

} // namespace board
