// SPDX-License-Identifier: BSD-2-Clause-Patent
/* The few EDK2 base types and UEFI variable attributes the package headers
   use, as EDK2's own headers (ProcessorBind.h, Base.h, UefiMultiPhase.h)
   define them for IA-32 and X64 with GCC-style toolchains. Stands in for
   PiPei.h when the headers are compiled alone as C. */
#ifndef MINIMAL_EDK2_TYPES_H_
#define MINIMAL_EDK2_TYPES_H_

typedef unsigned char UINT8;
typedef unsigned short UINT16;
typedef unsigned int UINT32;
typedef unsigned long long UINT64;
typedef unsigned short CHAR16;

typedef struct {
  UINT32 Data1;
  UINT16 Data2;
  UINT16 Data3;
  UINT8 Data4[8];
} GUID;
typedef GUID EFI_GUID;

#define EFI_VARIABLE_NON_VOLATILE 0x00000001
#define EFI_VARIABLE_BOOTSERVICE_ACCESS 0x00000002
#define EFI_VARIABLE_RUNTIME_ACCESS 0x00000004

#endif
