// SPDX-License-Identifier: BSD-2-Clause-Patent
// Loads a PE32 image for IA-32, or a PE32+ image for X64, as the PEI
// Foundation would: the image is
// validated (pe/ImageCheck.h), laid out and, when placed anywhere but its link
// address, relocated, all with pe/.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "common/Result.h"
#include "emulator/GuestLayout.h"

namespace emulator {

struct LoadedImage {
  uint32_t Base = 0;                        // where Memory starts
  uint32_t Entry = 0;                       // address of the entry point
  ProcessorMode Mode = ProcessorMode::Ia32; // told by the image's machine
  std::vector<uint8_t> Memory;              // SizeOfImage rounded up to whole pages
};

// Why an image of SizeOfImage bytes cannot be placed at Base (page aligned,
// between the lowest image address and 4 GiB), or nothing.
sio::Result<void> CheckPlacement(uint32_t Base, uint32_t SizeOfImage);

// Address: where to place the image (page aligned); nullopt for its link
// address. The error is one line starting "bad image: ".
sio::Result<LoadedImage> LoadPeImage(std::span<const uint8_t> File,
                                     std::optional<uint32_t> Address);

} // namespace emulator
