// SPDX-License-Identifier: BSD-2-Clause-Patent
// Image entry point, called once by the PEI Foundation when it dispatches the
// module.
#pragma once

#include "platform/PiPei.h"

// Runs the module's pass (SioBringUp), an EFI_PEIM_ENTRY_POINT2.
//
// @param[in] FileHandle   the module's firmware file; not used.
// @param[in] PeiServices  the PEI services table pointer.
//
// @retval EFI_UNSUPPORTED  no chip answered at any probed port.
// @retval other            the status of installing the ready PPI.
extern "C" EFI_STATUS EFIAPI SioEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle,
                                           IN const EFI_PEI_SERVICES** PeiServices);
