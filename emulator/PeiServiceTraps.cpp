// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/PeiServiceTraps.h"
#include "common/Hex.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "emulator/GuestLayout.h"
#include "pi/Status.h"

namespace emulator {
namespace {

std::string Hex8(uint64_t Value) {
  return sio::Hex(Value, 8);
}

// The services table after its 24-byte header, one 32-bit pointer each.
constexpr const char* kServiceNames[] = {"InstallPpi",
                                         "ReInstallPpi",
                                         "LocatePpi",
                                         "NotifyPpi",
                                         "GetBootMode",
                                         "SetBootMode",
                                         "GetHobList",
                                         "CreateHob",
                                         "FfsFindNextVolume",
                                         "FfsFindNextFile",
                                         "FfsFindSectionData",
                                         "InstallPeiMemory",
                                         "AllocatePages",
                                         "AllocatePool",
                                         "CopyMem",
                                         "SetMem",
                                         "ReportStatusCode",
                                         "ResetSystem",
                                         "CpuIo",
                                         "PciCfg",
                                         "FfsFindFileByName",
                                         "FfsGetFileInfo",
                                         "FfsGetVolumeInfo",
                                         "RegisterForShadow",
                                         "FindSectionData3",
                                         "FfsGetFileInfo2",
                                         "ResetSystem2",
                                         "FreePages"};
constexpr uint32_t kServiceCount = std::size(kServiceNames);
constexpr uint32_t kTableHeaderSize = 24;
constexpr uint32_t kTableSize = kTableHeaderSize + 4 * kServiceCount;
static_assert(kTableSize == 0x88);

constexpr uint32_t kInstallPpiIndex = 0;
constexpr uint32_t kLocatePpiIndex = 2;
constexpr uint32_t kTrapStride = 0x10;
constexpr uint32_t ServiceTrap(uint32_t Index) {
  return kTrapPage + Index * kTrapStride;
}
constexpr uint32_t kGetVariableTrap = kTrapPage + 0x400;
constexpr uint32_t kNextVariableNameTrap = kTrapPage + 0x410;

constexpr size_t kMaxVariableNameLength = 1024;
constexpr uint8_t kHalt = 0xF4;

template <typename T> void Put(std::vector<uint8_t>& Page, uint32_t Address, T Value) {
  std::memcpy(Page.data() + (Address - kFoundationPage), &Value, sizeof Value);
}

} // namespace

sio::Result<void> PeiServiceTraps::Build() {
  std::vector<uint8_t> Traps(kPageSize, kHalt);
  std::vector<uint8_t> Page(kPageSize, 0);
  Put<uint32_t>(Page, kPeiServicesCell, kServicesTable);
  Put<uint64_t>(Page, kServicesTable, 0x5652455320494550ull); // "PEI SERV"
  Put<uint32_t>(Page, kServicesTable + 8, 0x00010050);        // revision 1.80
  Put<uint32_t>(Page, kServicesTable + 12, kTableSize);
  for (uint32_t I = 0; I < kServiceCount; ++I) {
    Put<uint32_t>(Page, kServicesTable + kTableHeaderSize + 4 * I, ServiceTrap(I));
  }
  Put<uint32_t>(Page, kVariablePpi, kGetVariableTrap);
  Put<uint32_t>(Page, kVariablePpi + 4, kNextVariableNameTrap);
  Put<uint32_t>(Page, kVariableDescriptor, pi::kPpiDescriptorPpi | pi::kPpiDescriptorTerminateList);
  Put<uint32_t>(Page, kVariableDescriptor + 4, kVariablePpiGuid);
  Put<uint32_t>(Page, kVariableDescriptor + 8, kVariablePpi);
  Put(Page, kVariablePpiGuid, pi::kReadOnlyVariable2PpiGuid);

  if (uc_mem_map(Uc_, kTrapPage, kPageSize, UC_PROT_READ | UC_PROT_EXEC) != UC_ERR_OK ||
      uc_mem_map(Uc_, kFoundationPage, kPageSize, UC_PROT_READ) != UC_ERR_OK ||
      uc_mem_write(Uc_, kTrapPage, Traps.data(), Traps.size()) != UC_ERR_OK ||
      uc_mem_write(Uc_, kFoundationPage, Page.data(), Page.size()) != UC_ERR_OK) {
    return sio::Fail(sio::ErrorKind::Io, "cannot map the PEI Foundation pages");
  }
  PreinstallVariablePpi();
  return {};
}

void PeiServiceTraps::PreinstallVariablePpi() {
  if (!Target_.Pei().Faults().NoVariablePpi) {
    Target_.Pei().Preinstall({pi::kPpiDescriptorPpi | pi::kPpiDescriptorTerminateList,
                              pi::kReadOnlyVariable2PpiGuid, kVariableDescriptor, kVariablePpi});
  }
}

sio::Result<void> PeiServiceTraps::Serve(uint32_t Address) {
  uint32_t Esp = 0;
  uc_reg_read(Uc_, UC_X86_REG_ESP, &Esp);
  auto Return = Memory_.Read32(Esp);
  if (!Return)
    return sio::Fail(sio::ErrorKind::Failed,
                     "service trap " + Hex8(Address) + " reached with an unreadable stack");
  const uint32_t Args = Esp + 4;
  sio::Result<uint32_t> Status = sio::Fail(sio::ErrorKind::Failed, "no service");
  if (Address == ServiceTrap(kInstallPpiIndex)) {
    Status = InstallPpi(Args);
  } else if (Address == ServiceTrap(kLocatePpiIndex)) {
    Status = LocatePpi(Args);
  } else if (Address == kGetVariableTrap) {
    Status = GetVariable(Args);
  } else if (Address == kNextVariableNameTrap) {
    return sio::Fail(sio::ErrorKind::Failed,
                     "call to NextVariableName, which the board does not provide");
  } else if (Address >= kTrapPage && (Address - kTrapPage) % kTrapStride == 0 &&
             (Address - kTrapPage) / kTrapStride < kServiceCount) {
    return sio::Fail(sio::ErrorKind::Failed,
                     std::string("call to PEI service ") +
                         kServiceNames[(Address - kTrapPage) / kTrapStride] +
                         ", which the board does not provide");
  } else {
    return sio::Fail(sio::ErrorKind::Failed, "unknown service trap " + Hex8(Address) +
                                                 " (called from " + Hex8(*Return) + ")");
  }
  if (!Status)
    return Status.Failure();
  uint32_t NewEsp = Esp + 4;
  uc_reg_write(Uc_, UC_X86_REG_EAX, &*Status);
  uc_reg_write(Uc_, UC_X86_REG_ESP, &NewEsp);
  uc_reg_write(Uc_, UC_X86_REG_EIP, &*Return);
  return {};
}

sio::Result<uint32_t> PeiServiceTraps::InstallPpi(uint32_t Args) {
  std::array<uint32_t, 2> A{};
  if (!Memory_.Read(Args, A.data(), sizeof A))
    return sio::Fail(sio::ErrorKind::Failed, "InstallPpi: arguments unreadable");
  auto [PeiServices, PpiList] = A;
  if (PeiServices != kPeiServicesCell) {
    return sio::Fail(sio::ErrorKind::Failed, "InstallPpi: PeiServices " + Hex8(PeiServices) +
                                                 " is not the one given " + Hex8(kPeiServicesCell));
  }
  std::optional<std::vector<board::PpiDescriptor>> List;
  if (PpiList != 0) {
    List.emplace();
    for (size_t I = 0; I < board::kMaxPpiListLength; ++I) {
      uint32_t At = PpiList + static_cast<uint32_t>(12 * I);
      std::array<uint32_t, 3> D{};
      if (!Memory_.Read(At, D.data(), sizeof D)) {
        return sio::Fail(sio::ErrorKind::Failed,
                         "InstallPpi: descriptor at " + Hex8(At) + " unreadable");
      }
      board::PpiDescriptor Entry;
      Entry.Flags = D[0];
      if (D[1] != 0 && !Memory_.Read(D[1], Entry.Guid.data(), Entry.Guid.size())) {
        return sio::Fail(sio::ErrorKind::Failed,
                         "InstallPpi: GUID at " + Hex8(D[1]) + " unreadable");
      }
      Entry.DescriptorAddress = At;
      Entry.PpiAddress = D[2];
      List->push_back(Entry);
      if (Entry.Flags & pi::kPpiDescriptorTerminateList)
        break;
    }
    if (!(List->back().Flags & pi::kPpiDescriptorTerminateList))
      List.reset();
  }
  return Target_.Pei().InstallPpi(List);
}

sio::Result<uint32_t> PeiServiceTraps::LocatePpi(uint32_t Args) {
  std::array<uint32_t, 5> A{};
  if (!Memory_.Read(Args, A.data(), sizeof A))
    return sio::Fail(sio::ErrorKind::Failed, "LocatePpi: arguments unreadable");
  auto [PeiServices, GuidAddress, Instance, DescriptorOut, PpiOut] = A;
  if (PeiServices != kPeiServicesCell) {
    return sio::Fail(sio::ErrorKind::Failed, "LocatePpi: PeiServices " + Hex8(PeiServices) +
                                                 " is not the one given " + Hex8(kPeiServicesCell));
  }
  if (GuidAddress == 0 || PpiOut == 0) {
    return pi::kEfiInvalidParameter;
  }
  pi::Guid Guid{};
  if (!Memory_.Read(GuidAddress, Guid.data(), Guid.size())) {
    return sio::Fail(sio::ErrorKind::Failed,
                     "LocatePpi: GUID at " + Hex8(GuidAddress) + " unreadable");
  }
  auto Result = Target_.Pei().LocatePpi(Guid, Instance, DescriptorOut != 0);
  if (Result.Status == pi::kEfiSuccess) {
    if (!Memory_.Write32(PpiOut, static_cast<uint32_t>(Result.PpiAddress))) {
      return sio::Fail(sio::ErrorKind::Failed, "LocatePpi: Ppi result at " + Hex8(PpiOut) +
                                                   " is not writable stack memory");
    }
    if (DescriptorOut != 0 &&
        !Memory_.Write32(DescriptorOut, static_cast<uint32_t>(Result.DescriptorAddress))) {
      return sio::Fail(sio::ErrorKind::Failed, "LocatePpi: descriptor result at " +
                                                   Hex8(DescriptorOut) +
                                                   " is not writable stack memory");
    }
  }
  return Result.Status;
}

sio::Result<uint32_t> PeiServiceTraps::GetVariable(uint32_t Args) {
  std::array<uint32_t, 6> A{};
  if (!Memory_.Read(Args, A.data(), sizeof A))
    return sio::Fail(sio::ErrorKind::Failed, "GetVariable: arguments unreadable");
  auto [This, NameAddress, GuidAddress, AttributesOut, DataSizeAddress, DataAddress] = A;
  if (This != kVariablePpi) {
    return sio::Fail(sio::ErrorKind::Failed, "GetVariable: This " + Hex8(This) +
                                                 " is not the variable PPI " + Hex8(kVariablePpi));
  }
  std::optional<std::u16string> Name;
  if (NameAddress != 0) {
    Name.emplace();
    for (uint32_t I = 0; I < kMaxVariableNameLength; ++I) {
      char16_t C = 0;
      if (!Memory_.Read(NameAddress + 2 * I, &C, 2)) {
        return sio::Fail(sio::ErrorKind::Failed,
                         "GetVariable: name at " + Hex8(NameAddress) + " unreadable");
      }
      if (C == 0)
        break;
      Name->push_back(C);
    }
  }
  std::optional<pi::Guid> Guid;
  if (GuidAddress != 0) {
    Guid.emplace();
    if (!Memory_.Read(GuidAddress, Guid->data(), Guid->size())) {
      return sio::Fail(sio::ErrorKind::Failed,
                       "GetVariable: GUID at " + Hex8(GuidAddress) + " unreadable");
    }
  }
  uint32_t BufferSize = 0;
  if (DataSizeAddress != 0) {
    auto Size = Memory_.Read32(DataSizeAddress);
    if (!Size)
      return sio::Fail(sio::ErrorKind::Failed,
                       "GetVariable: DataSize at " + Hex8(DataSizeAddress) + " unreadable");
    BufferSize = *Size;
  }
  auto Result = Target_.Pei().GetVariable(Name, Guid, DataSizeAddress != 0, BufferSize,
                                          DataAddress != 0, AttributesOut != 0);
  if (DataSizeAddress != 0) {
    if (!Result.Data.empty() && DataAddress != 0) {
      size_t Count = std::min<uint64_t>(Result.Data.size(), BufferSize);
      if (!Memory_.Write(DataAddress, Result.Data.data(), Count)) {
        return sio::Fail(sio::ErrorKind::Failed, "GetVariable: buffer at " + Hex8(DataAddress) +
                                                     " (" + std::to_string(Count) +
                                                     " bytes) is not writable stack memory");
      }
    }
    if (!Memory_.Write32(DataSizeAddress, static_cast<uint32_t>(Result.DataSize))) {
      return sio::Fail(sio::ErrorKind::Failed, "GetVariable: DataSize at " + Hex8(DataSizeAddress) +
                                                   " is not writable stack memory");
    }
  }
  if (AttributesOut != 0 && Result.Status == pi::kEfiSuccess &&
      !Memory_.Write32(AttributesOut, Result.Attributes)) {
    return sio::Fail(sio::ErrorKind::Failed, "GetVariable: Attributes at " + Hex8(AttributesOut) +
                                                 " is not writable stack memory");
  }
  return Result.Status;
}

} // namespace emulator
