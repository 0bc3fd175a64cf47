#include "board/IoBus.h"

namespace board {

IoDevice* IoBus::Find(uint16_t Port, uint8_t Width) const {
  for (IoDevice* Device : Devices_) {
    if (Device->Decodes(Port, Width))
      return Device;
  }
  return nullptr;
}

uint32_t IoBus::Read(uint16_t Port, uint8_t Width) {
  IoDevice* Device = Find(Port, Width);
  uint32_t Value = Device ? Device->Read(Port, Width) & FloatingValue(Width) : FloatingValue(Width);
  Log_.push_back({EventKind::IoRead, Width, Port, Value, 0, {}});
  return Value;
}

void IoBus::Write(uint16_t Port, uint8_t Width, uint32_t Value) {
  Value &= FloatingValue(Width);
  Log_.push_back({EventKind::IoWrite, Width, Port, Value, 0, {}});
  if (IoDevice* Device = Find(Port, Width))
    Device->Write(Port, Width, Value);
}

} // namespace board
