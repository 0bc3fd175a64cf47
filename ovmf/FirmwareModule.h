// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module as a platform's firmware holds it: found by its file name in a
// firmware volume or a whole flash image (.fv, .fd), through every volume,
// including those inside LZMA GUID-defined and volume sections, in a PE32 or
// TE section, for IA-32 or X64. What is found says where the image lies,
// where it runs in place, and whether the PEI Foundation of that firmware can
// dispatch it: its dependency, the PPIs it names that no PEIM of its volume
// installs, whether that volume is the PEI volume.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"
#include "pi/Guid.h"

namespace ovmf {

// True when Bytes are a firmware volume or flash image rather than a module
// image: no PE ("MZ") or TE ("VZ") signature at the start, and a volume
// header somewhere in them.
bool IsFirmwareImage(std::span<const uint8_t> Bytes);

struct FirmwareModule {
  pi::Guid Name{};
  std::vector<uint8_t> Image; // the PE32 or TE image, its bytes as they lie
  bool Te = false;
  uint16_t Machine = 0;
  uint64_t Base = 0; // the address its RVA 0 is linked at
  // The PEI dependency section's expression (nothing: the file has none).
  std::optional<std::vector<uint8_t>> Depex;
  // Where it lies: "the volume at flash offset 0x0" or "the volume inside the
  // LZMA section of file ... of the volume at flash offset 0x0".
  std::string Volume;
  size_t FileOffset = 0;    // of its file's header, in that volume
  bool InPeiVolume = false; // that volume holds the PEI core or another PEIM
  // Where the volume runs, as the link addresses of its other PEIMs show
  // (nothing: no other image tells).
  std::optional<uint64_t> VolumeAddress;
  // Where RVA 0 lies from the volume's start: the image runs in place at
  // VolumeAddress + Rva0Offset.
  uint64_t Rva0Offset = 0;
  // The PPIs its dependency names that no PEIM or PEI core of its volume
  // installs (ovmf/FirmwareSurvey.h PpiInstallers).
  std::vector<pi::Guid> Uninstalled;
  // The PEIMs of its volume that install the read-only variable PPI (the PEI
  // variable service), and whether one lies ahead of the module's file (the
  // PEI Foundation dispatches in volume order what nothing holds back).
  std::vector<pi::Guid> VariableServices;
  bool AfterVariableService = false;
};

// The module file named Name; an error saying what was searched when no
// volume holds it, or when one holds it without a readable image.
sio::Result<FirmwareModule> FindFirmwareModule(std::span<const uint8_t> Firmware,
                                               const pi::Guid& Name);

// The dependency in words: "TRUE", "VARIABLE_PPI" (the read-only variable PPI),
// "FALSE", "none" or "an expression of N bytes naming ...".
std::string DescribeDependency(const std::optional<std::vector<uint8_t>>& Depex);

// Why the PEI Foundation of that firmware never dispatches the module, with
// the remedy, in one line; nothing when it can.
std::optional<std::string> NeverDispatched(const FirmwareModule& Module);

// Whether the module reads the setup variable on that firmware: it is
// dispatched, and the variable service is there when it is (its dependency
// waits for it, or the service's PEIM lies ahead of it). Reads says which;
// Why, in one line, the reason (and the remedy when it does not).
struct VariableReading {
  bool Reads = false;
  std::string Why;
};
VariableReading ReadsSetupVariable(const FirmwareModule& Module);

// Whether the module's image lies where it is linked to run: every address its
// base relocations patch points into the image at its base (a rebase moved
// them all), and its base is where it lies in its volume, as the volume's
// other images show. A line saying where it runs, or why it cannot.
struct InPlace {
  bool Passed = false;
  std::string Message;
};
InPlace JudgeInPlace(const FirmwareModule& Module);

} // namespace ovmf
