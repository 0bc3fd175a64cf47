// The processor's I/O port space on the board: routes each access to the
// device that decodes the port and records it in the trace. A read that no
// device answers returns all ones (floating bus); a write nobody takes is lost.
#pragma once

#include <cstdint>
#include <vector>

#include "board/Trace.h"

namespace board {

class IoDevice {
public:
  virtual ~IoDevice() = default;
  // True when the device decodes an access of Width bytes at Port.
  virtual bool Decodes(uint16_t Port, uint8_t Width) const = 0;
  virtual uint32_t Read(uint16_t Port, uint8_t Width) = 0;
  virtual void Write(uint16_t Port, uint8_t Width, uint32_t Value) = 0;
};

class IoBus {
public:
  explicit IoBus(Trace& Log) : Log_(Log) {}

  void Attach(IoDevice& Device) { Devices_.push_back(&Device); }

  uint32_t Read(uint16_t Port, uint8_t Width);
  void Write(uint16_t Port, uint8_t Width, uint32_t Value);

private:
  IoDevice* Find(uint16_t Port, uint8_t Width) const;

  Trace& Log_;
  std::vector<IoDevice*> Devices_;
};

// All ones of the access width.
inline constexpr uint32_t FloatingValue(uint8_t Width) {
  return Width >= 4 ? 0xFFFFFFFFu : (1u << (Width * 8)) - 1u;
}

} // namespace board
