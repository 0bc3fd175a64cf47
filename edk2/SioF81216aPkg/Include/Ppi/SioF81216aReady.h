/** @file
  SPDX-License-Identifier: BSD-2-Clause-Patent
  The PPI SioF81216aPei installs once the F81216a is configured and out of
  configuration mode. It has no interface: a module that needs the chip's
  devices lists gSioF81216aReadyPpiGuid in its [Depex], or waits for it with
  NotifyPpi.

  Include after PiPei.h (EFI_GUID). Plain C99; also valid C++.
**/

#ifndef SIO_F81216A_READY_PPI_H_
#define SIO_F81216A_READY_PPI_H_

/// {6F3BDEE2-6FCF-492E-80AC-7C786D9FC397}
#define SIO_F81216A_READY_PPI_GUID \
  { 0x6F3BDEE2, 0x6FCF, 0x492E, { 0x80, 0xAC, 0x7C, 0x78, 0x6D, 0x9F, 0xC3, 0x97 } }

extern EFI_GUID  gSioF81216aReadyPpiGuid;

#endif
