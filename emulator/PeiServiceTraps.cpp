// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/PeiServiceTraps.h"
#include "common/Hex.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "emulator/GuestLayout.h"
#include "emulator/Registers.h"
#include "pi/Status.h"

namespace emulator {
namespace {

std::string Hex8(uint64_t Value) {
  return sio::Hex(Value, 8);
}

// The services table after its 24-byte header, one pointer each.
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
constexpr uint32_t TableSize(ProcessorMode Mode) {
  return kTableHeaderSize + PointerSize(Mode) * kServiceCount;
}
static_assert(TableSize(ProcessorMode::Ia32) == 0x88);
static_assert(TableSize(ProcessorMode::X64) == 0xF8);
static_assert(kServicesTable + TableSize(ProcessorMode::X64) <= kVariablePpi);
static_assert(kVariablePpi + 2 * 8 <= kVariableDescriptor);
static_assert(kVariableDescriptor + 3 * 8 <= kVariablePpiGuid);
static_assert(kVariablePpiGuid + 16 <= kFileHandle);

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

// A pointer or UINTN of Width bytes.
void PutWord(std::vector<uint8_t>& Page, uint32_t Address, uint64_t Value, uint32_t Width) {
  std::memcpy(Page.data() + (Address - kFoundationPage), &Value, Width);
}

} // namespace

std::array<uint64_t, 2> PeiServiceTraps::EntryArguments() const {
  return {kFileHandle, kPeiServicesCell};
}

const char* PeiServiceTraps::RegionName(uint64_t Address) const {
  if (Address >= kFoundationPage && Address < kFoundationPage + kPageSize)
    return "PEI Foundation memory";
  return nullptr;
}

sio::Result<void> PeiServiceTraps::Build() {
  std::vector<uint8_t> Traps(kPageSize, kHalt);
  std::vector<uint8_t> Page(kPageSize, 0);
  const uint32_t W = Width_;
  PutWord(Page, kPeiServicesCell, kServicesTable, W);
  Put<uint64_t>(Page, kServicesTable, 0x5652455320494550ull); // "PEI SERV"
  Put<uint32_t>(Page, kServicesTable + 8, 0x00010050);        // revision 1.80
  Put<uint32_t>(Page, kServicesTable + 12, TableSize(Mode_));
  for (uint32_t I = 0; I < kServiceCount; ++I) {
    PutWord(Page, kServicesTable + kTableHeaderSize + W * I, ServiceTrap(I), W);
  }
  PutWord(Page, kVariablePpi, kGetVariableTrap, W);
  PutWord(Page, kVariablePpi + W, kNextVariableNameTrap, W);
  PutWord(Page, kVariableDescriptor, pi::kPpiDescriptorPpi | pi::kPpiDescriptorTerminateList, W);
  PutWord(Page, kVariableDescriptor + W, kVariablePpiGuid, W);
  PutWord(Page, kVariableDescriptor + 2 * W, kVariablePpi, W);
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

template <size_t Count>
sio::Result<std::array<uint64_t, Count>> PeiServiceTraps::Arguments(const char* Service) {
  std::array<uint64_t, Count> Values{};
  for (size_t I = 0; I < Count; ++I) {
    auto Value = CallArgument(Uc_, Mode_, Memory_, I);
    if (!Value)
      return sio::Fail(std::string(Service) + ": arguments unreadable");
    Values[I] = *Value;
  }
  return Values;
}

sio::Result<void> PeiServiceTraps::Serve(uint64_t Address) {
  auto Return = CallReturnAddress(Uc_, Mode_, Memory_, Address);
  if (!Return)
    return Return.Failure();
  sio::Result<uint32_t> Status = sio::Fail(sio::ErrorKind::Failed, "no service");
  if (Address == ServiceTrap(kInstallPpiIndex)) {
    Status = InstallPpi();
  } else if (Address == ServiceTrap(kLocatePpiIndex)) {
    Status = LocatePpi();
  } else if (Address == kGetVariableTrap) {
    Status = GetVariable();
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
  ReturnFromCall(Uc_, Mode_, *Status, *Return);
  return {};
}

sio::Result<uint32_t> PeiServiceTraps::InstallPpi() {
  auto A = Arguments<2>("InstallPpi");
  if (!A)
    return A.Failure();
  auto [PeiServices, PpiList] = *A;
  if (PeiServices != kPeiServicesCell) {
    return sio::Fail(sio::ErrorKind::Failed, "InstallPpi: PeiServices " + Hex8(PeiServices) +
                                                 " is not the one given " + Hex8(kPeiServicesCell));
  }
  std::optional<std::vector<board::PpiDescriptor>> List;
  if (PpiList != 0) {
    List.emplace();
    for (size_t I = 0; I < board::kMaxPpiListLength; ++I) {
      // Flags (UINTN), GUID pointer, PPI pointer.
      const uint64_t At = PpiList + 3 * Width_ * I;
      std::array<uint64_t, 3> D{};
      for (uint32_t F = 0; F < 3; ++F) {
        auto Field = Memory_.ReadWord(At + F * Width_, Width_);
        if (!Field)
          return sio::Fail(sio::ErrorKind::Failed,
                           "InstallPpi: descriptor at " + Hex8(At) + " unreadable");
        D[F] = *Field;
      }
      board::PpiDescriptor Entry;
      Entry.Flags = static_cast<uint32_t>(D[0]);
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

sio::Result<uint32_t> PeiServiceTraps::LocatePpi() {
  auto A = Arguments<5>("LocatePpi");
  if (!A)
    return A.Failure();
  auto [PeiServices, GuidAddress, Instance, DescriptorOut, PpiOut] = *A;
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
    if (!Memory_.WriteWord(PpiOut, Result.PpiAddress, Width_)) {
      return sio::Fail(sio::ErrorKind::Failed, "LocatePpi: Ppi result at " + Hex8(PpiOut) +
                                                   " is not writable stack memory");
    }
    if (DescriptorOut != 0 && !Memory_.WriteWord(DescriptorOut, Result.DescriptorAddress, Width_)) {
      return sio::Fail(sio::ErrorKind::Failed, "LocatePpi: descriptor result at " +
                                                   Hex8(DescriptorOut) +
                                                   " is not writable stack memory");
    }
  }
  return Result.Status;
}

sio::Result<uint32_t> PeiServiceTraps::GetVariable() {
  auto A = Arguments<6>("GetVariable");
  if (!A)
    return A.Failure();
  auto [This, NameAddress, GuidAddress, AttributesOut, DataSizeAddress, DataAddress] = *A;
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
  // DataSize is a UINTN. The board serves buffers of up to 4 GiB; a larger
  // one reads as that.
  uint32_t BufferSize = 0;
  if (DataSizeAddress != 0) {
    auto Size = Memory_.ReadWord(DataSizeAddress, Width_);
    if (!Size)
      return sio::Fail(sio::ErrorKind::Failed,
                       "GetVariable: DataSize at " + Hex8(DataSizeAddress) + " unreadable");
    BufferSize = static_cast<uint32_t>(std::min<uint64_t>(*Size, UINT32_MAX));
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
    if (!Memory_.WriteWord(DataSizeAddress, Result.DataSize, Width_)) {
      return sio::Fail(sio::ErrorKind::Failed, "GetVariable: DataSize at " + Hex8(DataSizeAddress) +
                                                   " is not writable stack memory");
    }
  }
  if (AttributesOut != 0 && Result.Status == pi::kEfiSuccess &&
      !Memory_.WriteWord(AttributesOut, Result.Attributes, 4)) {
    return sio::Fail(sio::ErrorKind::Failed, "GetVariable: Attributes at " + Hex8(AttributesOut) +
                                                 " is not writable stack memory");
  }
  return Result.Status;
}

} // namespace emulator
