// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/IoBus.h"

namespace board {

IoDevice* IoBus::Find(uint16_t Port, uint8_t Width) {
  Decoded& Entry = Decoded_[Port % Decoded_.size()];
  if (Entry.Valid && Entry.Port == Port && Entry.Width == Width)
    return Entry.Device;
  IoDevice* Found = nullptr;
  for (const Attached& A : Devices_) {
    if (Port >= A.First && Port <= A.Last && A.Device->Decodes(Port, Width)) {
      Found = A.Device;
      break;
    }
  }
  Entry = {true, Width, Port, Found};
  return Found;
}

void IoBus::Record(pi::EventKind Kind, uint16_t Port, uint8_t Width, uint32_t Value) {
  pi::TraceEvent& E = Log_.emplace_back();
  E.Kind = Kind;
  E.Width = Width;
  E.Port = Port;
  E.Value = Value;
}

uint32_t IoBus::Read(uint16_t Port, uint8_t Width) {
  IoDevice* Device = Find(Port, Width);
  uint32_t Value = Device ? Device->Read(Port, Width) & FloatingValue(Width) : FloatingValue(Width);
  Record(pi::EventKind::IoRead, Port, Width, Value);
  return Value;
}

void IoBus::Write(uint16_t Port, uint8_t Width, uint32_t Value) {
  Value &= FloatingValue(Width);
  Record(pi::EventKind::IoWrite, Port, Width, Value);
  if (IoDevice* Device = Find(Port, Width))
    Device->Write(Port, Width, Value);
}

} // namespace board
