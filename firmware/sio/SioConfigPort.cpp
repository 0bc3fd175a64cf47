// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sio/SioConfigPort.h"

#include "platform/PortIo.h"

void SioEnterConfig(UINT16 P) {
  PortWrite8(P, SioEnterKey);
  PortWrite8(P, SioEnterKey);
}

void SioExitConfig(UINT16 P) {
  PortWrite8(P, SioExitKey);
}

void SioWriteReg(UINT16 P, UINT8 Reg, UINT8 Value) {
  PortWrite8(P, Reg);
  PortWrite8(SioDataPort(P), Value);
}

UINT8 SioReadReg(UINT16 P, UINT8 Reg) {
  PortWrite8(P, Reg);
  return PortRead8(SioDataPort(P));
}

void SioSelectDevice(UINT16 P, UINT8 Device) {
  SioWriteReg(P, SioRegLogicalDevice, Device);
}
