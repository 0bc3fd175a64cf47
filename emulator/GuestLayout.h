// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the emulator puts things in the address space the image runs in, and
// the processor modes it runs an image in. Everything lies below 4 GiB, so
// the same addresses serve an IA-32 image and an X64 one. Page 0 and the page
// under the stack stay unmapped, so a NULL pointer or a stack overflow faults
// instead of reading or corrupting something.
#pragma once

#include <cstdint>

namespace emulator {

// The processor mode a module image runs in, told by its machine: IA-32
// (protected mode, cdecl) or X64 (long mode, the Microsoft x64 convention).
// Pointers and UINTN are 4 or 8 bytes wide.
enum class ProcessorMode { Ia32, X64 };

inline constexpr uint32_t PointerSize(ProcessorMode Mode) {
  return Mode == ProcessorMode::X64 ? 8 : 4;
}
inline constexpr const char* ModeName(ProcessorMode Mode) {
  return Mode == ProcessorMode::X64 ? "X64" : "IA32";
}

inline constexpr uint32_t kPageSize = 0x1000;

// Read-and-execute: one halt instruction per byte; each service the emulator
// provides has its own address here, which the code hook recognises.
inline constexpr uint32_t kTrapPage = 0x00001000;
// The address SioEntryPoint returns to: reaching it ends the pass.
inline constexpr uint32_t kReturnTrap = kTrapPage + 0x800;
// Read-only for the image: the PEI services pointer, the services table (0x88
// bytes with 4-byte pointers, 0xF8 with 8-byte ones), the variable PPI, its
// descriptor (12 or 24 bytes) and GUID, and the file handle's target.
inline constexpr uint32_t kFoundationPage = 0x00002000;
inline constexpr uint32_t kPeiServicesCell = kFoundationPage + 0x000;
inline constexpr uint32_t kServicesTable = kFoundationPage + 0x010;
inline constexpr uint32_t kVariablePpi = kFoundationPage + 0x200;
inline constexpr uint32_t kVariableDescriptor = kFoundationPage + 0x210;
inline constexpr uint32_t kVariablePpiGuid = kFoundationPage + 0x240;
inline constexpr uint32_t kFileHandle = kFoundationPage + 0x300;

// Read-only for the image: a DXE driver's system table, boot and runtime
// services tables, the HII database protocol, and the handles the model
// hands out (their addresses name them; nothing lies behind them).
inline constexpr uint32_t kDxeTablesPage = 0x00003000;
inline constexpr uint32_t kSystemTable = kDxeTablesPage + 0x000;
inline constexpr uint32_t kBootServicesTable = kDxeTablesPage + 0x080;
inline constexpr uint32_t kRuntimeServicesTable = kDxeTablesPage + 0x200;
inline constexpr uint32_t kHiiDatabaseProtocol = kDxeTablesPage + 0x300;
inline constexpr uint32_t kFirmwareVendor = kDxeTablesPage + 0x380;
inline constexpr uint32_t kImageHandle = kDxeTablesPage + 0x400;
inline constexpr uint32_t kFirstNewHandle = kDxeTablesPage + 0x800;
inline constexpr uint32_t kHiiPackageListHandle = kDxeTablesPage + 0xC00;

// The stack: read-write, with the unmapped guard page below it.
inline constexpr uint32_t kStackGuardPage = 0x0000F000;
inline constexpr uint32_t kStackBottom = 0x00010000;

// Nothing the emulator owns lies at or above this address; an image must load there.
inline constexpr uint32_t kLowestImageAddress = 0x00100000;

} // namespace emulator
