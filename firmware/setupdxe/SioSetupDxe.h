// SPDX-License-Identifier: BSD-2-Clause-Patent
// SioF81216aSetupDxe: registers the chip's page of the firmware's Setup. At
// its entry it finds the HII database, makes sure the setup variable is one
// the page can edit (creating it when the store holds none), installs a vendor
// device path on a new handle and registers the page's package list there.
// The firmware's HII configuration routing then reads and saves the variable
// through the page's EFI varstore; the next boot's PEI pass applies it.
#pragma once

#include "platform/PiDxe.h"

// Makes sure the setup variable is one the page can edit. The variable is
// the page's when it is 67 bytes, NV+BS, and its first entry is the
// logical-device-8 kind with qualifier 0; absent, it is created so (kind and
// qualifier set, not enabled, every other byte 0).
//
// @param[in] Runtime  the runtime services whose variable services are used.
//
// @retval EFI_SUCCESS        the variable is the page's, or was created.
// @retval EFI_ACCESS_DENIED  the variable belongs to another writer; nothing
//                            is written.
// @retval other              the error GetVariable returned, or the status of
//                            SetVariable creating it.
EFI_STATUS SioSetupClaimVariable(const EFI_RUNTIME_SERVICES* Runtime);

// The driver's entry point, an EFI_IMAGE_ENTRY_POINT: claims the variable and
// registers the page's package list on a new handle with the page's device
// path.
//
// @param[in] ImageHandle  the driver's image handle; not used.
// @param[in] SystemTable  the system table.
//
// @retval EFI_SUCCESS            the page is registered.
// @retval EFI_INVALID_PARAMETER  SystemTable or one of its services tables is
//                                NULL.
// @retval EFI_NOT_FOUND          the HII database was reported without an
//                                interface.
// @retval other                  the first error of locating the HII
//                                database, claiming the variable, installing
//                                the device path or registering the package
//                                list.
extern "C" EFI_STATUS EFIAPI SioSetupDxeEntryPoint(IN EFI_HANDLE ImageHandle,
                                                   IN EFI_SYSTEM_TABLE* SystemTable);
