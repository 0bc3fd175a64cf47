// SPDX-License-Identifier: BSD-2-Clause-Patent
// SioF81216aSetupDxe: registers the chip's page of the firmware's Setup. At
// its entry it finds the HII database, makes sure the setup variable is one
// the page can edit (creating it when the store holds none), installs a vendor
// device path on a new handle and registers the page's package list there.
// The firmware's HII configuration routing then reads and saves the variable
// through the page's EFI varstore; the next boot's PEI pass applies it.
#pragma once

#include "platform/PiDxe.h"

// The variable is the page's when it is 67 bytes, NV+BS, and its first entry
// is the logical-device-8 kind with qualifier 0; absent, it is created so
// (kind and qualifier set, not enabled, every other byte 0). Any other
// variable belongs to another writer: EFI_ACCESS_DENIED, nothing written.
// A read error is returned as it came.
EFI_STATUS SioSetupClaimVariable(const EFI_RUNTIME_SERVICES* Runtime);

extern "C" EFI_STATUS EFIAPI SioSetupDxeEntryPoint(EFI_HANDLE ImageHandle,
                                                   EFI_SYSTEM_TABLE* SystemTable);
