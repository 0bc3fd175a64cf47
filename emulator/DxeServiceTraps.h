// SPDX-License-Identifier: BSD-2-Clause-Patent
// The DXE services a driver is called with, laid out in emulated memory as on
// IA-32 or X64: the system table, the boot and runtime services tables and
// the HII database protocol, every function pointer aimed at a trap address.
// A call that reaches a trap is served by the model below: arguments read as
// the processor mode passes them (variadic ones too), results written only
// into the caller's stack, the status returned. Every call is recorded.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "emulator/DxeRun.h"
#include "emulator/ServiceTraps.h"

namespace emulator {

class DxeServiceTraps : public ServiceTraps {
public:
  DxeServiceTraps(uc_engine* Uc, ProcessorMode Mode, GuestMemory& Memory,
                  const DxeScenario& Scenario, DxeRunReport& Out);

  sio::Result<void> Build() override;
  sio::Result<void> Serve(uint64_t Address) override;
  // (ImageHandle, SystemTable).
  std::array<uint64_t, 2> EntryArguments() const override;
  const char* RegionName(uint64_t Address) const override;

private:
  sio::Result<uint64_t> Argument(size_t Index, const char* Service);
  template <size_t Count> sio::Result<std::array<uint64_t, Count>> Arguments(const char* Service);
  sio::Result<std::u16string> ReadName(uint64_t Address, const char* Service);
  sio::Result<pi::Guid> ReadGuid(uint64_t Address, const char* Service);
  uint32_t Record(const char* Service, uint32_t Status, std::string Detail);

  sio::Result<uint32_t> LocateProtocol();
  sio::Result<uint32_t> InstallMultipleProtocolInterfaces();
  sio::Result<uint32_t> GetVariable();
  sio::Result<uint32_t> SetVariable();
  sio::Result<uint32_t> NewPackageList();

  struct Stored {
    std::vector<uint8_t> Data;
    uint32_t Attributes = 0;
  };
  using Key = std::pair<std::u16string, pi::Guid>;

  uc_engine* Uc_;
  ProcessorMode Mode_;
  uint32_t Width_;
  GuestMemory& Memory_;
  DxeFaults Faults_;
  DxeRunReport& Out_;
  std::map<Key, Stored> Variables_;
  std::vector<uint64_t> Handles_;           // handed out, in order
  std::vector<uint64_t> DevicePathHandles_; // those carrying a device path
};

} // namespace emulator
