// SPDX-License-Identifier: BSD-2-Clause-Patent
// Checks the module image as the PEI Foundation will meet it, from the file
// alone: a PE32 for IA-32 or a PE32+ for X64, an EFI boot-service driver, an
// entry point in code, linked at its flash address below 4 GiB, relocatable
// (HIGHLOW or DIR64 base relocations, as its machine has them), with no
// writable data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "pe/PeFile.h"

namespace pe {

struct CheckOutcome {
  std::string Name; // e.g. "machine"
  bool Passed = false;
  std::string Message; // what was found, e.g. "IA-32 (0x14C)"
};

struct SectionSummary {
  std::string Name;
  uint32_t VirtualAddress = 0;
  uint32_t VirtualSize = 0;
  uint32_t RawSize = 0;
  uint32_t Characteristics = 0;
  std::string Flags; // "r-x"
};

struct ImageCheckReport {
  std::string Path; // empty when checked from memory
  uint64_t FileSize = 0;
  uint32_t SizeOfImage = 0;
  std::vector<SectionSummary> Sections;
  std::vector<CheckOutcome> Checks;

  bool Passed() const;
};

// Checks Bytes; against the flash address the image must be linked at when
// one is given.
ImageCheckReport CheckImage(std::span<const uint8_t> Bytes, std::optional<uint32_t> FlashAddress);
// Reads Path and checks it; an unreadable file is a failed "file" check.
ImageCheckReport CheckImageFile(const std::string& Path, uint32_t FlashAddress);

// The first address a base relocation patches that points outside the image
// at its link address, said in a line; nothing when all point into it. An
// image rebased as a whole (by a firmware build placing it in a volume) keeps
// them all inside; one whose base was changed without its sites does not.
std::optional<std::string> StrayRelocatedAddress(std::span<const uint8_t> Bytes);

// The one validation every reader of a module image runs before using it
// (image check, emulator loader, packer, OVMF insertion): the checks above but
// the link address, the first failure as the error ("subsystem: ..."). Takes
// either processor mode; the PeFile says which (PeFile::Mode).
sio::Result<PeFile> ValidatePe32Image(std::span<const uint8_t> Bytes);

// The same for an image in either form, told apart by its signature; a TE
// image is held to the same rules (pe/TeImage.h ValidateTeImage).
enum class ImageKind { Pe32, Te };
sio::Result<ImageKind> ValidateModuleImage(std::span<const uint8_t> Bytes);

// The report as `sio image check` shows it: the file, a table of the checks,
// a table of the sections, and the verdict.
std::string FormatImageCheck(const ImageCheckReport& Report);

} // namespace pe
