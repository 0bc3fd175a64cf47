// SPDX-License-Identifier: BSD-2-Clause-Patent
// The board values (PCDs) of a module image: listed, and set in a copy of the
// image the way EDK2's build patches a binary module. A numeric value takes
// the PCD's width, little-endian; a VOID* value is written byte by byte and
// zero-padded to the PCD's reserved size. Before anything is written the
// patched configuration is checked as the module will meet it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chip/ImageBoardValues.h"

namespace siotool {

// The PCD named Name, as in the DEC, with or without its token space
// ("PcdSioF81216aPostCode", "gSioF81216aPkgTokenSpaceGuid.PcdSioF81216aPostCode").
// Throws InputError for an unknown name.
const chip::PcdInfo& FindPcd(std::string_view Name);

// Value as a DSC writes it ("0x2E", "46", "{0x07, 0x00}") turned into the
// PCD's bytes in the image, padded with zeros to its size. Throws InputError
// for a value too large for its type or reserved size, or one not written as
// its type is.
std::vector<uint8_t> EncodePcdValue(const chip::PcdInfo& Pcd, std::string_view Value);

// The value as a DSC (and the binary INF) writes it: "0x004E", "{0x2E, 0x00, ...}".
std::string FormatPcdValue(const chip::PcdInfo& Pcd, std::span<const uint8_t> Bytes);

// What the module cannot be given: a script without an end pair inside its
// reserved bytes, an index or data port on 0x80-0x81 or 0xCF8-0xCFF (ports
// the module writes itself), no port to probe. Empty when sound.
std::string ConfigProblem(const chip::BoardValues& Config);

struct PcdAssignment {
  const chip::PcdInfo* Pcd;
  std::vector<uint8_t> Bytes;
};
// "NAME=VALUE" of `--set`.
PcdAssignment ParseAssignment(std::string_view Text);

// A copy of Image with each assignment written at its PCD's offset; throws
// InputError (naming the image as ImageName) when the patched configuration
// has a ConfigProblem or the image is not this build's.
std::vector<uint8_t> PatchImage(std::span<const uint8_t> Image,
                                const std::vector<PcdAssignment>& Assignments,
                                const std::string& ImageName);

// The [PatchPcd.IA32] or [PatchPcd.X64] section (after Image's machine) of
// the package's binary INF for Image: each PCD with its value in the image and
// its file offset.
std::string PatchPcdSection(std::span<const uint8_t> Image, const std::string& ImageName);

} // namespace siotool
