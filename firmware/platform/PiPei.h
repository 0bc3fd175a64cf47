// SPDX-License-Identifier: BSD-2-Clause-Patent
// Status, GUID, PEI services and variable PPI declarations the module calls.
// Laid out in the binary form the PEI Foundation and the PPI producers use in the processor
// mode the module is built for: IA-32 (4-byte UINTN and pointers) or X64 (8-byte). The host
// build (x86-64) takes the X64 form, calling convention included.
#pragma once

#include <stdint.h>

using UINT8 = uint8_t;
using UINT16 = uint16_t;
using UINT32 = uint32_t;
using UINT64 = uint64_t;
using UINTN = uintptr_t;
using BOOLEAN = uint8_t;
using CHAR16 = char16_t;
using VOID = void;

// The calling convention of every PEI service, PPI function and entry point:
// cdecl on IA-32, the Microsoft x64 convention on X64 (whatever the compiler's
// own default, so the host build calls and is called as the image is). A host
// of another processor keeps its own.
#if defined(__i386__)
#define EFIAPI __attribute__((cdecl))
#elif defined(__x86_64__)
#define EFIAPI __attribute__((ms_abi))
#else
#define EFIAPI
#endif

// The direction of each parameter of a service, PPI or protocol function and
// of an entry point, as the interfaces declare it: IN is read by the callee,
// OUT written by it, IN OUT both; OPTIONAL may be NULL. They expand to
// nothing: they document a declaration and change no type.
#define IN
#define OUT
#define OPTIONAL

using EFI_STATUS = UINTN;

// Error codes carry the top bit of UINTN: 0x80000000 on IA-32, 0x8000000000000000 on X64.
inline constexpr UINTN EFI_MAX_BIT = UINTN(1) << (sizeof(UINTN) * 8 - 1);
inline constexpr EFI_STATUS EFI_SUCCESS = 0;
inline constexpr EFI_STATUS EFI_INVALID_PARAMETER = EFI_MAX_BIT | 2;
inline constexpr EFI_STATUS EFI_UNSUPPORTED = EFI_MAX_BIT | 3;
inline constexpr EFI_STATUS EFI_BUFFER_TOO_SMALL = EFI_MAX_BIT | 5;
inline constexpr EFI_STATUS EFI_DEVICE_ERROR = EFI_MAX_BIT | 7;
inline constexpr EFI_STATUS EFI_OUT_OF_RESOURCES = EFI_MAX_BIT | 9;
inline constexpr EFI_STATUS EFI_NOT_FOUND = EFI_MAX_BIT | 14;

// Tells whether a status is an error code.
//
// @param[in] Status  the status a service or function returned.
//
// @retval true   Status carries the top bit: an error.
// @retval false  Status is EFI_SUCCESS or a warning.
inline constexpr bool EfiError(EFI_STATUS Status) {
  return (Status & EFI_MAX_BIT) != 0;
}

struct EFI_GUID {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
};

struct EFI_TABLE_HEADER {
  UINT64 Signature;
  UINT32 Revision;
  UINT32 HeaderSize;
  UINT32 CRC32;
  UINT32 Reserved;
};

using EFI_PEI_FILE_HANDLE = VOID*;

inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_PPI = 0x00000010;
inline constexpr UINTN EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST = 0x80000000;

struct EFI_PEI_PPI_DESCRIPTOR {
  UINTN Flags;
  const EFI_GUID* Guid;
  VOID* Ppi;
};

struct EFI_PEI_SERVICES;

using EFI_PEI_INSTALL_PPI = EFI_STATUS(EFIAPI*)(IN const EFI_PEI_SERVICES** PeiServices,
                                                IN const EFI_PEI_PPI_DESCRIPTOR* PpiList);
using EFI_PEI_LOCATE_PPI = EFI_STATUS(EFIAPI*)(
    IN const EFI_PEI_SERVICES** PeiServices, IN const EFI_GUID* Guid, IN UINTN Instance,
    IN OUT EFI_PEI_PPI_DESCRIPTOR** PpiDescriptor OPTIONAL, IN OUT VOID** Ppi);
// Services this module never calls keep their slot so that the ones it calls
// sit at their architectural offsets.
using EFI_PEI_UNUSED_SERVICE = VOID*;

struct EFI_PEI_SERVICES {
  EFI_TABLE_HEADER Hdr;
  EFI_PEI_INSTALL_PPI InstallPpi;
  EFI_PEI_UNUSED_SERVICE ReInstallPpi;
  EFI_PEI_LOCATE_PPI LocatePpi;
  EFI_PEI_UNUSED_SERVICE NotifyPpi;
  EFI_PEI_UNUSED_SERVICE GetBootMode;
  EFI_PEI_UNUSED_SERVICE SetBootMode;
  EFI_PEI_UNUSED_SERVICE GetHobList;
  EFI_PEI_UNUSED_SERVICE CreateHob;
  EFI_PEI_UNUSED_SERVICE FfsFindNextVolume;
  EFI_PEI_UNUSED_SERVICE FfsFindNextFile;
  EFI_PEI_UNUSED_SERVICE FfsFindSectionData;
  EFI_PEI_UNUSED_SERVICE InstallPeiMemory;
  EFI_PEI_UNUSED_SERVICE AllocatePages;
  EFI_PEI_UNUSED_SERVICE AllocatePool;
  EFI_PEI_UNUSED_SERVICE CopyMem;
  EFI_PEI_UNUSED_SERVICE SetMem;
  EFI_PEI_UNUSED_SERVICE ReportStatusCode;
  EFI_PEI_UNUSED_SERVICE ResetSystem;
  EFI_PEI_UNUSED_SERVICE CpuIo;
  EFI_PEI_UNUSED_SERVICE PciCfg;
  EFI_PEI_UNUSED_SERVICE FfsFindFileByName;
  EFI_PEI_UNUSED_SERVICE FfsGetFileInfo;
  EFI_PEI_UNUSED_SERVICE FfsGetVolumeInfo;
  EFI_PEI_UNUSED_SERVICE RegisterForShadow;
  EFI_PEI_UNUSED_SERVICE FindSectionData3;
  EFI_PEI_UNUSED_SERVICE FfsGetFileInfo2;
  EFI_PEI_UNUSED_SERVICE ResetSystem2;
  EFI_PEI_UNUSED_SERVICE FreePages;
};

struct EFI_PEI_READ_ONLY_VARIABLE2_PPI;

using EFI_PEI_GET_VARIABLE2 = EFI_STATUS(EFIAPI*)(IN const EFI_PEI_READ_ONLY_VARIABLE2_PPI* This,
                                                  IN const CHAR16* VariableName,
                                                  IN const EFI_GUID* VariableGuid,
                                                  OUT UINT32* Attributes OPTIONAL,
                                                  IN OUT UINTN* DataSize, OUT VOID* Data OPTIONAL);

struct EFI_PEI_READ_ONLY_VARIABLE2_PPI {
  EFI_PEI_GET_VARIABLE2 GetVariable;
  EFI_PEI_UNUSED_SERVICE NextVariableName;
};

// {2AB86EF5-ECB5-4134-B556-3854CA1FE1B4}
inline constexpr EFI_GUID gEfiPeiReadOnlyVariable2PpiGuid = {
    0x2AB86EF5, 0xECB5, 0x4134, {0xB5, 0x56, 0x38, 0x54, 0xCA, 0x1F, 0xE1, 0xB4}};

using EFI_PEIM_ENTRY_POINT2 = EFI_STATUS(EFIAPI*)(IN EFI_PEI_FILE_HANDLE FileHandle,
                                                  IN const EFI_PEI_SERVICES** PeiServices);

static_assert(sizeof(EFI_GUID) == 16 && alignof(EFI_GUID) == 4);
static_assert(sizeof(EFI_TABLE_HEADER) == 24);
static_assert(sizeof(CHAR16) == 2);

#if defined(__i386__)
// IA-32 binary layout the PEI Foundation and the variable PPI producer expect.
static_assert(sizeof(UINTN) == 4 && sizeof(VOID*) == 4);
static_assert(alignof(UINT64) == 8, "UINT64 must be 8-byte aligned as on the MSVC ABI");
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 12);
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Guid) == 4);
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Ppi) == 8);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, InstallPpi) == 0x18);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, LocatePpi) == 0x20);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, CpuIo) == 0x60);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, FreePages) == 0x84);
static_assert(sizeof(EFI_PEI_SERVICES) == 0x88);
static_assert(__builtin_offsetof(EFI_PEI_READ_ONLY_VARIABLE2_PPI, NextVariableName) == 4);
static_assert(sizeof(EFI_PEI_READ_ONLY_VARIABLE2_PPI) == 8);
static_assert(EFI_UNSUPPORTED == 0x80000003u && EFI_NOT_FOUND == 0x8000000Eu);
#elif defined(__x86_64__)
// X64 binary layout: the same records with 8-byte UINTN and pointers.
static_assert(sizeof(UINTN) == 8 && sizeof(VOID*) == 8);
static_assert(alignof(UINT64) == 8);
static_assert(sizeof(EFI_PEI_PPI_DESCRIPTOR) == 24);
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Guid) == 8);
static_assert(__builtin_offsetof(EFI_PEI_PPI_DESCRIPTOR, Ppi) == 16);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, InstallPpi) == 0x18);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, LocatePpi) == 0x28);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, CpuIo) == 0xA8);
static_assert(__builtin_offsetof(EFI_PEI_SERVICES, FreePages) == 0xF0);
static_assert(sizeof(EFI_PEI_SERVICES) == 0xF8);
static_assert(__builtin_offsetof(EFI_PEI_READ_ONLY_VARIABLE2_PPI, NextVariableName) == 8);
static_assert(sizeof(EFI_PEI_READ_ONLY_VARIABLE2_PPI) == 16);
static_assert(EFI_UNSUPPORTED == 0x8000000000000003ull && EFI_NOT_FOUND == 0x800000000000000Eull);
#endif
