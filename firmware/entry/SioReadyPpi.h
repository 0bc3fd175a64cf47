// The interface-less PPI that tells later modules the chip is ready. The PEI
// Foundation keeps pointers to the descriptor and GUID, so both are image data.
#pragma once

#include "platform/PiPei.h"

// {6F3BDEE2-6FCF-492E-80AC-7C786D9FC397}
inline constexpr EFI_GUID SioReadyPpiGuid = {
    0x6F3BDEE2, 0x6FCF, 0x492E, {0x80, 0xAC, 0x7C, 0x78, 0x6D, 0x9F, 0xC3, 0x97}};

inline constexpr EFI_PEI_PPI_DESCRIPTOR SioReadyPpiDescriptor = {
    EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, &SioReadyPpiGuid, nullptr};
