// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reading the board values from a module image: the record lies where this
// build's link put it (the generated firmware/SioImageLayout.h for the IA-32
// image, firmware/SioImageLayoutX64.h for the X64 one), so a copy
// patched by an integrator's build or by `sio image config --set` is read as
// it will run.
#pragma once

#include <cstdint>
#include <span>

#include "chip/BoardValues.h"
#include "common/Result.h"

namespace chip {

// Where the board record and each PCD lie in the file Image (a PE32 image of
// or PE32+ image of this build's link, patched or not). An error when Image is not laid out as
// the link laid it out: its entry point elsewhere, the record outside a
// read-only section's file bytes, or a base relocation inside the record.
sio::Result<uint32_t> BoardValuesFileOffset(std::span<const uint8_t> Image);
// The board record of Image and its values, checked once for every command
// that reads or patches it: where BoardValuesFileOffset finds it, and its
// closing pair after the reserved script bytes (0x00, 0x00), which stops a
// script that has no end pair of its own. Image may be either image or its
// TE form.
struct ImageBoardRecord {
  uint32_t FileOffset = 0;
  BoardValues Config;
};
sio::Result<ImageBoardRecord> ReadBoardRecord(std::span<const uint8_t> Image);
// ReadBoardRecord's values.
sio::Result<BoardValues> ReadBoardValues(std::span<const uint8_t> Image);
// The values of the image in a module's firmware file (its PE32 or TE section).
sio::Result<BoardValues> ReadModuleFileBoardValues(std::span<const uint8_t> File);

} // namespace chip
