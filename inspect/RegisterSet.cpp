// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/RegisterSet.h"

#include <algorithm>

#include "setup/SioApplySetup.h"
#include "sio/SioConfigPort.h"

namespace inspect {
namespace {

void AddOnce(std::vector<uint8_t>& List, uint8_t Value) {
  if (std::find(List.begin(), List.end(), Value) == List.end())
    List.push_back(Value);
}

constexpr uint8_t kFirstDeviceRegister = 0x30;
constexpr uint8_t kDeviceCount = 0x10;

} // namespace

std::vector<RegisterKey> RegisterSet::Keys() const {
  std::vector<RegisterKey> Out;
  for (uint8_t Reg : Globals)
    Out.push_back({std::nullopt, Reg});
  for (uint8_t Device : Devices) {
    for (uint8_t Reg : DeviceRegisters)
      Out.push_back({Device, Reg});
  }
  return Out;
}

RegisterSet ModuleRegisters(const chip::BoardValues& Board) {
  RegisterSet Set;
  Set.Globals = {SioRegLogicalDevice, SioRegChipIdHigh, SioRegChipIdLow};
  // A patched script may name 0x77 or 0xAA as a register: the reading
  // cannot select them, as the index port takes them as the keys.
  for (const chip::RegisterWrite& Write : Board.Script()) {
    if (Write.Reg == SioRegLogicalDevice)
      AddOnce(Set.Devices, Write.Value);
    else if (Write.Reg < kFirstDeviceRegister)
      AddOnce(Set.Globals, Write.Reg);
    else if (Write.Reg != SioEnterKey && Write.Reg != SioExitKey)
      AddOnce(Set.DeviceRegisters, Write.Reg);
  }
  // The settings stage: logical device 8, activated, its mode and value registers.
  AddOnce(Set.Devices, SioLd8);
  for (uint8_t Reg : {SioRegActivate, SioLd8RegMode, SioLd8RegValue})
    AddOnce(Set.DeviceRegisters, Reg);
  std::sort(Set.Globals.begin(), Set.Globals.end());
  std::sort(Set.Devices.begin(), Set.Devices.end());
  std::sort(Set.DeviceRegisters.begin(), Set.DeviceRegisters.end());
  return Set;
}

RegisterSet AllRegisters() {
  RegisterSet Set;
  for (int Reg = 0; Reg < kFirstDeviceRegister; ++Reg)
    Set.Globals.push_back(static_cast<uint8_t>(Reg));
  for (int Device = 0; Device < kDeviceCount; ++Device)
    Set.Devices.push_back(static_cast<uint8_t>(Device));
  // Registers 0x77 and 0xAA cannot be selected: written to the index port,
  // they are the enter and exit keys (0xAA would end configuration mode).
  for (int Reg = kFirstDeviceRegister; Reg <= 0xFF; ++Reg) {
    if (Reg != SioEnterKey && Reg != SioExitKey)
      Set.DeviceRegisters.push_back(static_cast<uint8_t>(Reg));
  }
  return Set;
}

} // namespace inspect
