// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/KnownGuids.h"

#include <utility>

namespace pi {
namespace {

const std::pair<const Guid*, const char*> kKnown[] = {
    {&kReadOnlyVariable2PpiGuid, "EFI_PEI_READ_ONLY_VARIABLE2_PPI"},
    {&kSioReadyPpiGuid, "SioReadyPpi"},
    {&kSioSetupVendorGuid, "SioSetupVendorGuid"},
    {&kSioSetupFormSetGuid, "SioSetupFormSet"},
    {&kHiiPlatformSetupFormSetGuid, "EFI_HII_PLATFORM_SETUP_FORMSET_GUID"},
    {&kHiiDatabaseProtocolGuid, "EFI_HII_DATABASE_PROTOCOL"},
    {&kVariableArchProtocolGuid, "EFI_VARIABLE_ARCH_PROTOCOL"},
    {&kVariableWriteArchProtocolGuid, "EFI_VARIABLE_WRITE_ARCH_PROTOCOL"},
    {&kDevicePathProtocolGuid, "EFI_DEVICE_PATH_PROTOCOL"},
};

} // namespace

std::string GuidName(const Guid& Value) {
  for (const auto& [Known, Name] : kKnown) {
    if (*Known == Value)
      return Name;
  }
  return {};
}

std::string NamesOfGuidsIn(const ServiceCall& Call) {
  std::string Names;
  auto Add = [&](const Guid& Value) {
    std::string Name = GuidName(Value);
    Names += (Names.empty() ? "" : ", ") + (Name.empty() ? FormatGuid(Value) : Name);
  };
  for (const auto& Ppi : Call.Ppis)
    Add(Ppi.Guid);
  if (Call.Guid)
    Add(*Call.Guid);
  return Names;
}

} // namespace pi
