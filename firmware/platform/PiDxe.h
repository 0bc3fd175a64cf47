// SPDX-License-Identifier: BSD-2-Clause-Patent
// The DXE declarations the setup driver calls: the system table, the boot and
// runtime services it uses (every slot before them kept, so the ones it calls
// sit at their architectural offsets), the HII database protocol, the device
// path it installs and the GUIDs of the protocols it names. Laid out for the
// processor mode the driver is built for, as PiPei.h lays out the PEI
// records; the base types and EFIAPI are PiPei.h's.
#pragma once

#include "platform/PiPei.h"

using EFI_HANDLE = VOID*;
using EFI_HII_HANDLE = VOID*;

inline constexpr EFI_STATUS EFI_ACCESS_DENIED = EFI_MAX_BIT | 15;

// EFI_VARIABLE_NON_VOLATILE and EFI_VARIABLE_BOOTSERVICE_ACCESS.
inline constexpr UINT32 EFI_VARIABLE_NON_VOLATILE = 0x00000001;
inline constexpr UINT32 EFI_VARIABLE_BOOTSERVICE_ACCESS = 0x00000002;

// A slot of a services table the driver never calls.
using EFI_UNUSED_SERVICE = VOID*;

using EFI_LOCATE_PROTOCOL = EFI_STATUS(EFIAPI*)(IN const EFI_GUID* Protocol,
                                                IN VOID* Registration OPTIONAL,
                                                OUT VOID** Interface);
// (Handle, Guid1, Interface1, ..., NULL): the pairs end at a NULL GUID pointer.
using EFI_INSTALL_MULTIPLE_PROTOCOL_INTERFACES = EFI_STATUS(EFIAPI*)(IN OUT EFI_HANDLE* Handle,
                                                                     ...);

struct EFI_BOOT_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // RaiseTPL to LocateHandleBuffer: 37 services the driver does not call.
  EFI_UNUSED_SERVICE Unused[37];
  EFI_LOCATE_PROTOCOL LocateProtocol;
  EFI_INSTALL_MULTIPLE_PROTOCOL_INTERFACES InstallMultipleProtocolInterfaces;
  EFI_UNUSED_SERVICE UninstallMultipleProtocolInterfaces;
  EFI_UNUSED_SERVICE CalculateCrc32;
  EFI_UNUSED_SERVICE CopyMem;
  EFI_UNUSED_SERVICE SetMem;
  EFI_UNUSED_SERVICE CreateEventEx;
};

using EFI_GET_VARIABLE = EFI_STATUS(EFIAPI*)(IN const CHAR16* VariableName,
                                             IN const EFI_GUID* VendorGuid,
                                             OUT UINT32* Attributes OPTIONAL,
                                             IN OUT UINTN* DataSize, OUT VOID* Data OPTIONAL);
using EFI_SET_VARIABLE = EFI_STATUS(EFIAPI*)(IN const CHAR16* VariableName,
                                             IN const EFI_GUID* VendorGuid, IN UINT32 Attributes,
                                             IN UINTN DataSize, IN const VOID* Data);

struct EFI_RUNTIME_SERVICES {
  EFI_TABLE_HEADER Hdr;
  // GetTime, SetTime, GetWakeupTime, SetWakeupTime, SetVirtualAddressMap, ConvertPointer.
  EFI_UNUSED_SERVICE Unused[6];
  EFI_GET_VARIABLE GetVariable;
  EFI_UNUSED_SERVICE GetNextVariableName;
  EFI_SET_VARIABLE SetVariable;
  EFI_UNUSED_SERVICE GetNextHighMonotonicCount;
  EFI_UNUSED_SERVICE ResetSystem;
  EFI_UNUSED_SERVICE UpdateCapsule;
  EFI_UNUSED_SERVICE QueryCapsuleCapabilities;
  EFI_UNUSED_SERVICE QueryVariableInfo;
};

struct EFI_SYSTEM_TABLE {
  EFI_TABLE_HEADER Hdr;
  const CHAR16* FirmwareVendor;
  UINT32 FirmwareRevision;
  EFI_HANDLE ConsoleInHandle;
  VOID* ConIn;
  EFI_HANDLE ConsoleOutHandle;
  VOID* ConOut;
  EFI_HANDLE StandardErrorHandle;
  VOID* StdErr;
  EFI_RUNTIME_SERVICES* RuntimeServices;
  EFI_BOOT_SERVICES* BootServices;
  UINTN NumberOfTableEntries;
  VOID* ConfigurationTable;
};

// EFI_HII_PACKAGE_LIST_HEADER: the list's bytes follow it.
struct EFI_HII_PACKAGE_LIST_HEADER {
  EFI_GUID PackageListGuid;
  UINT32 PackageLength;
};

struct EFI_HII_DATABASE_PROTOCOL;
using EFI_HII_DATABASE_NEW_PACK = EFI_STATUS(EFIAPI*)(
    IN const EFI_HII_DATABASE_PROTOCOL* This, IN const EFI_HII_PACKAGE_LIST_HEADER* PackageList,
    IN EFI_HANDLE DriverHandle OPTIONAL, OUT EFI_HII_HANDLE* Handle);
struct EFI_HII_DATABASE_PROTOCOL {
  EFI_HII_DATABASE_NEW_PACK NewPackageList;
  // RemovePackageList to GetPackageListHandle.
  EFI_UNUSED_SERVICE Unused[10];
};

// A device path node's header: type, subtype, 16-bit length (bytes, header
// included) as two bytes, so a node needs no alignment.
struct EFI_DEVICE_PATH_PROTOCOL {
  UINT8 Type;
  UINT8 SubType;
  UINT8 Length[2];
};
inline constexpr UINT8 HARDWARE_DEVICE_PATH = 0x01;
inline constexpr UINT8 HW_VENDOR_DP = 0x04;
inline constexpr UINT8 END_DEVICE_PATH_TYPE = 0x7F;
inline constexpr UINT8 END_ENTIRE_DEVICE_PATH_SUBTYPE = 0xFF;

// {EF9FC172-A1B2-4693-B327-6D32FC416042}
inline constexpr EFI_GUID gEfiHiiDatabaseProtocolGuid = {
    0xEF9FC172, 0xA1B2, 0x4693, {0xB3, 0x27, 0x6D, 0x32, 0xFC, 0x41, 0x60, 0x42}};
// {09576E91-6D3F-11D2-8E39-00A0C969723B}
inline constexpr EFI_GUID gEfiDevicePathProtocolGuid = {
    0x09576E91, 0x6D3F, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};

using EFI_IMAGE_ENTRY_POINT = EFI_STATUS(EFIAPI*)(IN EFI_HANDLE ImageHandle,
                                                  IN EFI_SYSTEM_TABLE* SystemTable);

#if defined(__i386__)
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 0x38);
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, BootServices) == 0x3C);
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 0xAC);
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, InstallMultipleProtocolInterfaces) == 0xB0);
static_assert(sizeof(EFI_BOOT_SERVICES) == 0xC8);
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 0x30);
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 0x38);
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 0x50);
static_assert(sizeof(EFI_HII_DATABASE_PROTOCOL) == 0x2C);
#elif defined(__x86_64__)
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, RuntimeServices) == 0x58);
static_assert(__builtin_offsetof(EFI_SYSTEM_TABLE, BootServices) == 0x60);
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, LocateProtocol) == 0x140);
static_assert(__builtin_offsetof(EFI_BOOT_SERVICES, InstallMultipleProtocolInterfaces) == 0x148);
static_assert(sizeof(EFI_BOOT_SERVICES) == 0x178);
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 0x48);
static_assert(__builtin_offsetof(EFI_RUNTIME_SERVICES, SetVariable) == 0x58);
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 0x88);
static_assert(sizeof(EFI_HII_DATABASE_PROTOCOL) == 0x58);
#endif
static_assert(sizeof(EFI_HII_PACKAGE_LIST_HEADER) == 20);
static_assert(sizeof(EFI_DEVICE_PATH_PROTOCOL) == 4);
