// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "sio/SioConfigPort.h"

#include "platform/PortIo.h"

void SioEnterConfig(UINT16 IndexPort) {
  PortWrite8(IndexPort, SioEnterKey);
  PortWrite8(IndexPort, SioEnterKey);
}

void SioExitConfig(UINT16 IndexPort) {
  PortWrite8(IndexPort, SioExitKey);
}

void SioWriteReg(UINT16 IndexPort, UINT8 Reg, UINT8 Value) {
  PortWrite8(IndexPort, Reg);
  PortWrite8(SioDataPort(IndexPort), Value);
}

UINT8 SioReadReg(UINT16 IndexPort, UINT8 Reg) {
  PortWrite8(IndexPort, Reg);
  return PortRead8(SioDataPort(IndexPort));
}

void SioSelectDevice(UINT16 IndexPort, UINT8 Device) {
  SioWriteReg(IndexPort, SioRegLogicalDevice, Device);
}
