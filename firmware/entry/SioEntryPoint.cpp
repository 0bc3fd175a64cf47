// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "entry/SioEntryPoint.h"

#include "entry/SioBringUp.h"

extern "C" EFI_STATUS EFIAPI SioEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle,
                                           IN const EFI_PEI_SERVICES** PeiServices) {
  (void)FileHandle;
  return SioBringUp(PeiServices);
}
