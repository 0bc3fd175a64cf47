// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs a DXE driver image (the setup driver) in the emulator, in the mode its
// machine tells, on a model of the DXE services it calls: boot services'
// LocateProtocol and InstallMultipleProtocolInterfaces, the HII database's
// NewPackageList (which records the package list) and the runtime services'
// GetVariable and SetVariable over one variable store. Every call is
// recorded; the same memory protection and register checks hold as for the
// PEI pass (emulator/ImageEngine.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/ImageEngine.h"
#include "pi/Guid.h"

namespace emulator {

// Faults a run can switch on; each replaces the model's normal answer.
struct DxeFaults {
  std::optional<uint32_t> LocateProtocolStatus;
  bool LocateReturnsNull = false; // success, but Interface left NULL
  std::optional<uint32_t> InstallStatus;
  std::optional<uint32_t> GetVariableStatus; // returned, nothing copied
  std::optional<uint32_t> SetVariableStatus; // returned, nothing stored
  std::optional<uint32_t> NewPackageListStatus;
  bool operator==(const DxeFaults&) const = default;
};

struct DxeScenario {
  // "SioF81216aSetup00" before the driver runs; nullopt: absent.
  std::optional<std::vector<uint8_t>> SetupVariable;
  uint32_t SetupAttributes = 0x3; // NV+BS
  DxeFaults Faults;
};

// One service call as the model served it.
struct DxeCall {
  std::string Service; // "LocateProtocol", "GetVariable", ...
  uint32_t Status = 0;
  std::string Detail; // its arguments in short ("SioF81216aSetup00, 67 bytes")
};

struct DxeRunReport {
  bool Completed = false;
  std::string Fault;
  uint32_t Status = kAbortedStatus;
  std::vector<DxeCall> Calls;
  std::optional<std::vector<uint8_t>> SetupVariable; // after the run
  uint32_t SetupAttributes = 0;
  // The package list NewPackageList accepted (empty when none was) and the
  // handle it was registered on, which must carry the device path installed.
  std::vector<uint8_t> PackageList;
  bool DevicePathInstalled = false;
  std::vector<uint8_t> DevicePath; // the bytes installed, up to and including the end node
  uint64_t Instructions = 0;
  uint32_t StackHighWater = 0;
  ProcessorMode Mode = ProcessorMode::Ia32;
};

DxeRunReport RunDxeImage(const std::vector<uint8_t>& Image, const DxeScenario& Scenario,
                         const ImageRunOptions& Options = {});

} // namespace emulator
