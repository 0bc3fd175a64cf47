// SPDX-License-Identifier: BSD-2-Clause-Patent
// The interface-less PPI that tells later modules the chip is ready. The PEI
// Foundation keeps pointers to the descriptor and GUID, so both are image data.
#pragma once

#include "platform/PiPei.h"

// After PiPei.h: the package header uses the EFI types it declares.
#include "Ppi/SioF81216aReady.h"

// The GUID is the package's (SioF81216aPkg), which other modules depend on.
inline constexpr EFI_GUID SioReadyPpiGuid = SIO_F81216A_READY_PPI_GUID;

inline constexpr EFI_PEI_PPI_DESCRIPTOR SioReadyPpiDescriptor = {
    EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &SioReadyPpiGuid, nullptr};
