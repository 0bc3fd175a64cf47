// SPDX-License-Identifier: BSD-2-Clause-Patent
// The board values a module image carries in its board record
// (firmware/entry/SioBoardConfig.h), in host terms: the host side follows the
// image it runs, patched or not (chip/ImageBoardValues.h reads them from an
// image). Each value is a PatchableInModule PCD of SioF81216aPkg; this is
// their one list.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "chip/ExpectedPass.h"
#include "entry/SioBoardConfig.h"

namespace chip {

inline constexpr std::string_view kPcdTokenSpace = "gSioF81216aPkgTokenSpaceGuid";

enum class PcdType : uint8_t { Uint16, Uint32, Bytes };

struct PcdInfo {
  std::string_view Name;
  PcdType Type;
  uint32_t Size;         // bytes it takes in the image (VOID*: its reserved size)
  uint32_t RecordOffset; // offset inside the board record
};

// In the DEC's order.
inline constexpr std::array<PcdInfo, 6> kPcds = {{
    {"PcdSioF81216aPostCode", PcdType::Uint16, 2, __builtin_offsetof(SioBoardConfig, PostCode)},
    {"PcdSioF81216aLpcDecodeAddress", PcdType::Uint32, 4,
     __builtin_offsetof(SioBoardConfig, LpcDecodeAddress)},
    {"PcdSioF81216aLpcDecodeValue", PcdType::Uint32, 4,
     __builtin_offsetof(SioBoardConfig, LpcDecodeValue)},
    {"PcdSioF81216aConfigPort", PcdType::Uint16, 2, __builtin_offsetof(SioBoardConfig, ProbePorts)},
    {"PcdSioF81216aCandidatePorts", PcdType::Bytes, 2 * SioCandidatePortCount,
     __builtin_offsetof(SioBoardConfig, ProbePorts) + 2},
    {"PcdSioF81216aInitScript", PcdType::Bytes, 2 * SioInitScriptReservedPairs,
     __builtin_offsetof(SioBoardConfig, InitScript)},
}};

// The board values in host terms.
struct BoardValues {
  uint16_t PostCode = 0;
  uint32_t LpcDecodeAddress = 0; // 0: no LPC bridge write
  uint32_t LpcDecodeValue = 0;
  uint16_t ConfigPort = 0;
  std::array<uint16_t, SioCandidatePortCount> CandidatePorts{};
  std::array<uint8_t, 2 * SioInitScriptReservedPairs> ScriptBytes{};

  static BoardValues FromRecord(const SioBoardConfig& Record);
  SioBoardConfig Record() const;

  bool WritesLpcDecode() const { return LpcDecodeAddress != 0; }
  // The ports the module probes, in order, the ones that are 0 left out.
  std::vector<uint16_t> ProbeOrder() const;
  // Every distinct non-zero port of ProbeOrder(): where the chip may answer.
  std::vector<uint16_t> IndexPorts() const;
  // The pairs the module plays: up to the first (0x00, 0x00) pair, or all of
  // the reserved pairs when there is none.
  std::vector<RegisterWrite> Script() const;
  bool ScriptHasEndPair() const;
  // The early writes: the progress code, then the LPC bridge write when the
  // configuration makes one.
  std::vector<PortWrite> EarlyWrites() const;

  bool operator==(const BoardValues&) const = default;
};

// The values of an image no build patched.
const BoardValues& DefaultBoardValues();

} // namespace chip
