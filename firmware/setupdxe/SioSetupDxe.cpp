// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "setupdxe/SioSetupDxe.h"

#include "firmware/SioSetupPackage.h"
#include "setup/SioSetupData.h"

namespace {

// The variable as the driver creates it: the first entry of the
// logical-device-8 kind, qualifier 0, not enabled; every other byte 0. The
// module applies nothing from it until a choice is saved.
struct SetupBytes {
  UINT8 Bytes[SIO_F81216A_SETUP_VARIABLE_SIZE];
};

// Lays out the variable's bytes as the driver creates it.
//
// @return the variable's bytes: the first entry's kind and qualifier set,
//         every other byte 0.
constexpr SetupBytes InitialSetup() {
  SetupBytes Initial{};
  Initial.Bytes[SioSetupKindOffset] = SIO_F81216A_ENTRY_KIND_LD8;
  Initial.Bytes[SioSetupQualifierOffset] = SIO_F81216A_ENTRY_QUALIFIER_LD8;
  return Initial;
}
constexpr SetupBytes kInitialSetup = InitialSetup();

constexpr UINT32 kSetupAttributes = EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS;

// The handle's device path: one vendor node named by the formset's GUID, and
// the end node. Bytes only, so the record has no padding in either mode.
struct SetupDevicePath {
  EFI_DEVICE_PATH_PROTOCOL Vendor;
  EFI_GUID Guid;
  EFI_DEVICE_PATH_PROTOCOL End;
};
static_assert(sizeof(SetupDevicePath) == 24);
constexpr SetupDevicePath kDevicePath = {
    {HARDWARE_DEVICE_PATH, HW_VENDOR_DP, {sizeof(EFI_DEVICE_PATH_PROTOCOL) + sizeof(EFI_GUID), 0}},
    SioSetupFormSetGuid,
    {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, {sizeof(EFI_DEVICE_PATH_PROTOCOL), 0}}};

} // namespace

EFI_STATUS SioSetupClaimVariable(const EFI_RUNTIME_SERVICES* Runtime) {
  // Read into a buffer exactly the variable's size: a larger variable
  // answers EFI_BUFFER_TOO_SMALL and is not the page's. Only the bytes the
  // service says it wrote are looked at.
  UINT8 Data[SIO_F81216A_SETUP_VARIABLE_SIZE];
  UINTN Size = sizeof Data;
  UINT32 Attributes = 0;
  EFI_STATUS Status =
      Runtime->GetVariable(SioSetupVariableName, &SioSetupVendorGuid, &Attributes, &Size, Data);
  if (Status == EFI_NOT_FOUND) {
    return Runtime->SetVariable(SioSetupVariableName, &SioSetupVendorGuid, kSetupAttributes,
                                sizeof kInitialSetup.Bytes, kInitialSetup.Bytes);
  }
  if (Status == EFI_BUFFER_TOO_SMALL)
    return EFI_ACCESS_DENIED;
  if (EfiError(Status))
    return Status;
  if (Size != sizeof Data || Attributes != kSetupAttributes ||
      Data[SioSetupKindOffset] != SIO_F81216A_ENTRY_KIND_LD8 ||
      Data[SioSetupQualifierOffset] != SIO_F81216A_ENTRY_QUALIFIER_LD8) {
    return EFI_ACCESS_DENIED;
  }
  return EFI_SUCCESS;
}

extern "C" EFI_STATUS EFIAPI SioSetupDxeEntryPoint(IN EFI_HANDLE,
                                                   IN EFI_SYSTEM_TABLE* SystemTable) {
  if (SystemTable == nullptr || SystemTable->BootServices == nullptr ||
      SystemTable->RuntimeServices == nullptr) {
    return EFI_INVALID_PARAMETER;
  }
  const EFI_BOOT_SERVICES* Boot = SystemTable->BootServices;

  VOID* Interface = nullptr;
  EFI_STATUS Status = Boot->LocateProtocol(&gEfiHiiDatabaseProtocolGuid, nullptr, &Interface);
  if (EfiError(Status))
    return Status;
  // A producer that reports success without an interface is taken as none.
  if (Interface == nullptr)
    return EFI_NOT_FOUND;
  const auto* Database = static_cast<const EFI_HII_DATABASE_PROTOCOL*>(Interface);

  Status = SioSetupClaimVariable(SystemTable->RuntimeServices);
  if (EfiError(Status))
    return Status;

  // The protocol database keeps the pointer, never writes through it: the
  // device path stays in the image's read-only data.
  EFI_HANDLE Handle = nullptr;
  Status = Boot->InstallMultipleProtocolInterfaces(&Handle, &gEfiDevicePathProtocolGuid,
                                                   &kDevicePath, nullptr);
  if (EfiError(Status))
    return Status;

  EFI_HII_HANDLE HiiHandle = nullptr;
  return Database->NewPackageList(
      Database, reinterpret_cast<const EFI_HII_PACKAGE_LIST_HEADER*>(SioSetupPackageList), Handle,
      &HiiHandle);
}
