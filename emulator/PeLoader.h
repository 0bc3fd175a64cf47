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
  uint32_t Base = 0;                        // where Memory starts: the image's RVA 0
  uint32_t Entry = 0;                       // address of the entry point
  ProcessorMode Mode = ProcessorMode::Ia32; // told by the image's machine
  std::vector<uint8_t> Memory;              // SizeOfImage rounded up to whole pages
};

// Why an image of SizeOfImage bytes cannot be placed at Base (a multiple of
// the image's section alignment, the pages it touches between the lowest
// image address and 4 GiB), or nothing. A firmware volume places a PEIM at any
// multiple of its section alignment, and it runs there in place.
sio::Result<void> CheckPlacement(uint32_t Base, uint32_t SizeOfImage, uint32_t Alignment);

// Address: where to place the image (a multiple of its section alignment);
// nullopt for its link address. The error is one line starting "bad image: ".
sio::Result<LoadedImage> LoadPeImage(std::span<const uint8_t> File,
                                     std::optional<uint32_t> Address);

} // namespace emulator
