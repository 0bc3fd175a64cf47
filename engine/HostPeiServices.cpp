// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "engine/HostPeiServices.h"

#include <cstddef>
#include <cstring>
#include <span>
#include <string_view>

#include "pi/Status.h"

namespace engine {
namespace {

using Context = HostPeiServices::Context;

pi::Guid ToBytes(const EFI_GUID& Guid) {
  pi::Guid Bytes;
  std::memcpy(Bytes.data(), &Guid, Bytes.size());
  return Bytes;
}

Context& FromServices(const EFI_PEI_SERVICES** PeiServices) {
  return *reinterpret_cast<Context*>(PeiServices);
}

EFI_STATUS EFIAPI InstallPpi(const EFI_PEI_SERVICES** PeiServices,
                             const EFI_PEI_PPI_DESCRIPTOR* PpiList) {
  auto& Ctx = FromServices(PeiServices);
  auto& List = Ctx.PpiList;
  List.clear();
  bool Terminated = false;
  if (PpiList != nullptr) {
    for (size_t I = 0; I < board::kMaxPpiListLength; ++I) {
      const auto& D = PpiList[I];
      board::PpiDescriptor Entry;
      Entry.Flags = static_cast<uint32_t>(D.Flags);
      if (D.Guid != nullptr)
        Entry.Guid = ToBytes(*D.Guid);
      Entry.DescriptorAddress = reinterpret_cast<uintptr_t>(&D);
      Entry.PpiAddress = reinterpret_cast<uintptr_t>(D.Ppi);
      List.push_back(Entry);
      if (D.Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST)
        break;
    }
    Terminated = (List.back().Flags & pi::kPpiDescriptorTerminateList) != 0;
  }
  return ToHostStatus(Ctx.Owner->Pei().InstallPpi(List, Terminated));
}

EFI_STATUS EFIAPI LocatePpi(const EFI_PEI_SERVICES** PeiServices, const EFI_GUID* Guid,
                            UINTN Instance, EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor, VOID** Ppi) {
  if (Guid == nullptr || Ppi == nullptr)
    return EFI_INVALID_PARAMETER;
  auto Result = FromServices(PeiServices)
                    .Owner->Pei()
                    .LocatePpi(ToBytes(*Guid), Instance, PpiDescriptor != nullptr);
  if (Result.Status == pi::kEfiSuccess) {
    *Ppi = reinterpret_cast<VOID*>(static_cast<uintptr_t>(Result.PpiAddress));
    if (PpiDescriptor != nullptr) {
      *PpiDescriptor = reinterpret_cast<EFI_PEI_PPI_DESCRIPTOR*>(
          static_cast<uintptr_t>(Result.DescriptorAddress));
    }
  }
  return ToHostStatus(Result.Status);
}

EFI_STATUS EFIAPI GetVariable(const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This,
                              const CHAR16* VariableName, const EFI_GUID* VariableGuid,
                              UINT32* Attributes, UINTN* DataSize, VOID* Data) {
  auto& Ctx = *reinterpret_cast<Context*>(reinterpret_cast<uintptr_t>(This) -
                                          offsetof(Context, VariablePpi));
  std::optional<std::u16string_view> Name;
  if (VariableName != nullptr) {
    static_assert(sizeof(CHAR16) == sizeof(char16_t));
    const auto* Chars = reinterpret_cast<const char16_t*>(VariableName);
    size_t Length = 0;
    while (Length < 1024 && Chars[Length] != 0)
      ++Length;
    Name.emplace(Chars, Length);
  }
  std::optional<pi::Guid> Guid;
  if (VariableGuid != nullptr)
    Guid = ToBytes(*VariableGuid);
  uint64_t BufferSize = DataSize ? *DataSize : 0;
  auto Result = Ctx.Owner->Pei().GetVariable(Name, Guid, DataSize != nullptr, BufferSize,
                                             Data != nullptr, Attributes != nullptr);
  if (DataSize != nullptr) {
    if (!Result.Data.empty() && Data != nullptr) {
      std::memcpy(Data, Result.Data.data(), std::min<uint64_t>(Result.Data.size(), BufferSize));
    }
    *DataSize = static_cast<UINTN>(Result.DataSize);
  }
  if (Attributes != nullptr && Result.Status == pi::kEfiSuccess)
    *Attributes = Result.Attributes;
  return ToHostStatus(Result.Status);
}

} // namespace

EFI_STATUS ToHostStatus(uint32_t Status) {
  return (Status & 0x80000000u) ? (EFI_MAX_BIT | (Status & 0x7FFFFFFFu)) : Status;
}

uint32_t FromHostStatus(EFI_STATUS Status) {
  return (Status & EFI_MAX_BIT) ? (0x80000000u | static_cast<uint32_t>(Status & 0x7FFFFFFFu))
                                : static_cast<uint32_t>(Status);
}

HostPeiServices::HostPeiServices(board::Board& Owner) {
  Context_.Services = &Context_.Table;
  Context_.Owner = &Owner;
  Context_.Table.Hdr.Signature = 0x5652455320494550ull; // "PEI SERV"
  Context_.Table.Hdr.Revision = 0x00010050;
  Context_.Table.Hdr.HeaderSize = sizeof(EFI_PEI_SERVICES);
  Context_.Table.InstallPpi = InstallPpi;
  Context_.Table.LocatePpi = LocatePpi;
  Context_.VariablePpi.GetVariable = GetVariable;
  Context_.VariableDescriptor = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                 &gEfiPeiReadOnlyVariable2PpiGuid, &Context_.VariablePpi};
  PreinstallVariablePpi();
}

void HostPeiServices::PreinstallVariablePpi() {
  board::Board& Owner = *Context_.Owner;
  if (!Owner.Pei().Faults().NoVariablePpi) {
    Owner.Pei().Preinstall({pi::kPpiDescriptorPpi | pi::kPpiDescriptorTerminateList,
                            pi::kReadOnlyVariable2PpiGuid,
                            reinterpret_cast<uintptr_t>(&Context_.VariableDescriptor),
                            reinterpret_cast<uintptr_t>(&Context_.VariablePpi)});
  }
}

} // namespace engine
