// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup driver beside the module: its image (the one built for the
// firmware's DXE mode) packed as a DXE driver file and added to the DXE
// volume of the opened image, so that the firmware's DXE dispatcher starts it
// and its page appears under Device Manager.
#pragma once

#include <span>
#include <string>

#include "common/Result.h"
#include "ovmf/DxeVolumeInserter.h"
#include "ovmf/FirmwareSurvey.h"

namespace ovmf {

class OvmfImage;

struct AddedDriver {
  Processor Mode = Processor::Ia32; // its image's, the DXE core's
  std::string Source;               // the image file packed
  size_t VolumeSize = 0;            // of the DXE volume
  DriverInsertion Added;
};

// An error (the image unchanged) when the image is not a driver image for
// Dxe's mode, the packing refuses it, or the DXE volume cannot take it.
sio::Result<AddedDriver> AddSetupDriver(OvmfImage& Image, Processor Dxe,
                                        std::span<const uint8_t> DriverImage,
                                        const std::string& Source);

} // namespace ovmf
