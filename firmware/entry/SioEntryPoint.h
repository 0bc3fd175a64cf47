// SPDX-License-Identifier: BSD-2-Clause-Patent
// Image entry point, called once by the PEI Foundation when it dispatches the
// module.
#pragma once

#include "platform/PiPei.h"

extern "C" EFI_STATUS EFIAPI SioEntryPoint(EFI_PEI_FILE_HANDLE FileHandle,
                                           const EFI_PEI_SERVICES** PeiServices);
