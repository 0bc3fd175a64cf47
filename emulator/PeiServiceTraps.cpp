#include "emulator/PeiServiceTraps.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "board/Status.h"
#include "emulator/GuestLayout.h"

namespace emulator {
namespace {

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

std::string Hex(uint32_t Value) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08X", Value);
  return Text;
}

template <typename T> void Put(std::vector<uint8_t>& Page, uint32_t Address, T Value) {
  std::memcpy(Page.data() + (Address - kFoundationPage), &Value, sizeof Value);
}

} // namespace

std::optional<std::string> PeiServiceTraps::Build() {
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
  Put<uint32_t>(Page, kVariableDescriptor,
                board::kPpiDescriptorPpi | board::kPpiDescriptorTerminateList);
  Put<uint32_t>(Page, kVariableDescriptor + 4, kVariablePpiGuid);
  Put<uint32_t>(Page, kVariableDescriptor + 8, kVariablePpi);
  Put(Page, kVariablePpiGuid, board::kReadOnlyVariable2PpiGuid);

  if (uc_mem_map(Uc_, kTrapPage, kPageSize, UC_PROT_READ | UC_PROT_EXEC) != UC_ERR_OK ||
      uc_mem_map(Uc_, kFoundationPage, kPageSize, UC_PROT_READ) != UC_ERR_OK ||
      uc_mem_write(Uc_, kTrapPage, Traps.data(), Traps.size()) != UC_ERR_OK ||
      uc_mem_write(Uc_, kFoundationPage, Page.data(), Page.size()) != UC_ERR_OK) {
    return "cannot map the PEI Foundation pages";
  }
  PreinstallVariablePpi();
  return std::nullopt;
}

void PeiServiceTraps::PreinstallVariablePpi() {
  if (!Target_.Pei().Faults().NoVariablePpi) {
    Target_.Pei().Preinstall({board::kPpiDescriptorPpi | board::kPpiDescriptorTerminateList,
                              board::kReadOnlyVariable2PpiGuid, kVariableDescriptor, kVariablePpi});
  }
}

std::optional<std::string> PeiServiceTraps::Serve(uint32_t Address) {
  uint32_t Esp = 0;
  uc_reg_read(Uc_, UC_X86_REG_ESP, &Esp);
  auto Return = Memory_.Read32(Esp);
  if (!Return)
    return "service trap " + Hex(Address) + " reached with an unreadable stack";
  uint32_t Args = Esp + 4;
  uint32_t Status = 0;
  std::optional<std::string> Fault;
  if (Address == ServiceTrap(kInstallPpiIndex)) {
    Fault = InstallPpi(Args, Status);
  } else if (Address == ServiceTrap(kLocatePpiIndex)) {
    Fault = LocatePpi(Args, Status);
  } else if (Address == kGetVariableTrap) {
    Fault = GetVariable(Args, Status);
  } else if (Address == kNextVariableNameTrap) {
    return "call to NextVariableName, which the board does not provide";
  } else if (Address >= kTrapPage && (Address - kTrapPage) % kTrapStride == 0 &&
             (Address - kTrapPage) / kTrapStride < kServiceCount) {
    return std::string("call to PEI service ") +
           kServiceNames[(Address - kTrapPage) / kTrapStride] +
           ", which the board does not provide";
  } else {
    return "unknown service trap " + Hex(Address) + " (called from " + Hex(*Return) + ")";
  }
  if (Fault)
    return Fault;
  uint32_t NewEsp = Esp + 4;
  uc_reg_write(Uc_, UC_X86_REG_EAX, &Status);
  uc_reg_write(Uc_, UC_X86_REG_ESP, &NewEsp);
  uc_reg_write(Uc_, UC_X86_REG_EIP, &*Return);
  return std::nullopt;
}

std::optional<std::string> PeiServiceTraps::InstallPpi(uint32_t Args, uint32_t& Status) {
  std::array<uint32_t, 2> A{};
  if (!Memory_.Read(Args, A.data(), sizeof A))
    return "InstallPpi: arguments unreadable";
  auto [PeiServices, PpiList] = A;
  if (PeiServices != kPeiServicesCell) {
    return "InstallPpi: PeiServices " + Hex(PeiServices) + " is not the one given " +
           Hex(kPeiServicesCell);
  }
  std::optional<std::vector<board::PpiDescriptor>> List;
  if (PpiList != 0) {
    List.emplace();
    for (size_t I = 0; I < board::kMaxPpiListLength; ++I) {
      uint32_t At = PpiList + static_cast<uint32_t>(12 * I);
      std::array<uint32_t, 3> D{};
      if (!Memory_.Read(At, D.data(), sizeof D)) {
        return "InstallPpi: descriptor at " + Hex(At) + " unreadable";
      }
      board::PpiDescriptor Entry;
      Entry.Flags = D[0];
      if (D[1] != 0 && !Memory_.Read(D[1], Entry.Guid.data(), Entry.Guid.size())) {
        return "InstallPpi: GUID at " + Hex(D[1]) + " unreadable";
      }
      Entry.DescriptorAddress = At;
      Entry.PpiAddress = D[2];
      List->push_back(Entry);
      if (Entry.Flags & board::kPpiDescriptorTerminateList)
        break;
    }
    if (!(List->back().Flags & board::kPpiDescriptorTerminateList))
      List.reset();
  }
  Status = Target_.Pei().InstallPpi(List);
  return std::nullopt;
}

std::optional<std::string> PeiServiceTraps::LocatePpi(uint32_t Args, uint32_t& Status) {
  std::array<uint32_t, 5> A{};
  if (!Memory_.Read(Args, A.data(), sizeof A))
    return "LocatePpi: arguments unreadable";
  auto [PeiServices, GuidAddress, Instance, DescriptorOut, PpiOut] = A;
  if (PeiServices != kPeiServicesCell) {
    return "LocatePpi: PeiServices " + Hex(PeiServices) + " is not the one given " +
           Hex(kPeiServicesCell);
  }
  if (GuidAddress == 0 || PpiOut == 0) {
    Status = board::kEfiInvalidParameter;
    return std::nullopt;
  }
  pi::Guid Guid{};
  if (!Memory_.Read(GuidAddress, Guid.data(), Guid.size())) {
    return "LocatePpi: GUID at " + Hex(GuidAddress) + " unreadable";
  }
  auto Result = Target_.Pei().LocatePpi(Guid, Instance, DescriptorOut != 0);
  if (Result.Status == board::kEfiSuccess) {
    if (!Memory_.Write32(PpiOut, static_cast<uint32_t>(Result.PpiAddress))) {
      return "LocatePpi: Ppi result at " + Hex(PpiOut) + " is not writable stack memory";
    }
    if (DescriptorOut != 0 &&
        !Memory_.Write32(DescriptorOut, static_cast<uint32_t>(Result.DescriptorAddress))) {
      return "LocatePpi: descriptor result at " + Hex(DescriptorOut) +
             " is not writable stack memory";
    }
  }
  Status = Result.Status;
  return std::nullopt;
}

std::optional<std::string> PeiServiceTraps::GetVariable(uint32_t Args, uint32_t& Status) {
  std::array<uint32_t, 6> A{};
  if (!Memory_.Read(Args, A.data(), sizeof A))
    return "GetVariable: arguments unreadable";
  auto [This, NameAddress, GuidAddress, AttributesOut, DataSizeAddress, DataAddress] = A;
  if (This != kVariablePpi) {
    return "GetVariable: This " + Hex(This) + " is not the variable PPI " + Hex(kVariablePpi);
  }
  std::optional<std::u16string> Name;
  if (NameAddress != 0) {
    Name.emplace();
    for (uint32_t I = 0; I < kMaxVariableNameLength; ++I) {
      char16_t C = 0;
      if (!Memory_.Read(NameAddress + 2 * I, &C, 2)) {
        return "GetVariable: name at " + Hex(NameAddress) + " unreadable";
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
      return "GetVariable: GUID at " + Hex(GuidAddress) + " unreadable";
    }
  }
  uint32_t BufferSize = 0;
  if (DataSizeAddress != 0) {
    auto Size = Memory_.Read32(DataSizeAddress);
    if (!Size)
      return "GetVariable: DataSize at " + Hex(DataSizeAddress) + " unreadable";
    BufferSize = *Size;
  }
  auto Result = Target_.Pei().GetVariable(Name, Guid, DataSizeAddress != 0, BufferSize,
                                          DataAddress != 0, AttributesOut != 0);
  if (DataSizeAddress != 0) {
    if (!Result.Data.empty() && DataAddress != 0) {
      size_t Count = std::min<uint64_t>(Result.Data.size(), BufferSize);
      if (!Memory_.Write(DataAddress, Result.Data.data(), Count)) {
        return "GetVariable: buffer at " + Hex(DataAddress) + " (" + std::to_string(Count) +
               " bytes) is not writable stack memory";
      }
    }
    if (!Memory_.Write32(DataSizeAddress, static_cast<uint32_t>(Result.DataSize))) {
      return "GetVariable: DataSize at " + Hex(DataSizeAddress) + " is not writable stack memory";
    }
  }
  if (AttributesOut != 0 && Result.Status == board::kEfiSuccess &&
      !Memory_.Write32(AttributesOut, Result.Attributes)) {
    return "GetVariable: Attributes at " + Hex(AttributesOut) + " is not writable stack memory";
  }
  Status = Result.Status;
  return std::nullopt;
}

} // namespace emulator
