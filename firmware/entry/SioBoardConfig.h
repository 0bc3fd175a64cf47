// SPDX-License-Identifier: BSD-2-Clause-Patent
// The board's values, kept as one constant record in the image's read-only
// data: the progress code, the LPC bridge's decode write, the index port
// probed first, the candidate ports and the register script. Each field is a
// PatchableInModule PCD of SioF81216aPkg: an integrator's build rewrites its
// bytes in a copy of the linked image, so the module reads them at run time
// and never from a constant the compiler could fold.
#pragma once

#include "entry/SioBringUp.h"
#include "entry/SioInitScript.h"
#include "platform/PiPei.h"
#include "sio/SioDeviceTable.h"

// Room for both globals and four logical devices (select, activate, I/O
// base, interrupt: five pairs each), and the end pair.
inline constexpr UINTN SioInitScriptReservedPairs = 24;

struct __attribute__((aligned(4))) SioBoardConfig {
  UINT32 LpcDecodeAddress; // PcdSioF81216aLpcDecodeAddress: 0 skips the write
  UINT32 LpcDecodeValue;   // PcdSioF81216aLpcDecodeValue
  UINT16 PostCode;         // PcdSioF81216aPostCode: written to port 0x80
  // The index ports probed in order, 0 skipping a step: [0] is
  // PcdSioF81216aConfigPort (the configuration entry's port), [1..4] are
  // PcdSioF81216aCandidatePorts. One array, so discovery is one loop.
  UINT16 ProbePorts[1 + SioCandidatePortCount];
  // PcdSioF81216aInitScript: played up to the first (0x00, 0x00) pair, or to
  // the end of its reserved bytes when it holds none.
  SioRegisterWrite InitScript[SioInitScriptReservedPairs];
  // Always (0x00, 0x00), and no PCD: the pair after the reserved bytes, at
  // which a script without an end pair stops. The loop that plays the script
  // tests one condition per pair and still never reads past this record.
  SioRegisterWrite InitScriptClosing;
};

// The layout the package's binary INF and the host tools take offsets from.
static_assert(__builtin_offsetof(SioBoardConfig, LpcDecodeAddress) == 0);
static_assert(__builtin_offsetof(SioBoardConfig, LpcDecodeValue) == 4);
static_assert(__builtin_offsetof(SioBoardConfig, PostCode) == 8);
static_assert(__builtin_offsetof(SioBoardConfig, ProbePorts) == 10);
static_assert(__builtin_offsetof(SioBoardConfig, InitScript) == 20);
static_assert(__builtin_offsetof(SioBoardConfig, InitScriptClosing) == 68);

// The values of an image that no build patched: the built-in tables.
inline constexpr SioBoardConfig SioBoardConfigDefaults = [] {
  SioBoardConfig Config{};
  Config.PostCode = SioPostCode;
  Config.ProbePorts[0] = SioDefaultConfigPort;
  Config.LpcDecodeAddress = SioLpcBridgeDecodeAddress;
  Config.LpcDecodeValue = SioLpcBridgeDecodeValue;
  for (UINTN I = 0; I < SioCandidatePortCount; ++I) {
    Config.ProbePorts[1 + I] = SioCandidatePorts[I];
  }
  for (UINTN I = 0; I <= SioInitScriptLength; ++I) {
    Config.InitScript[I] = SioInitScript[I];
  }
  return Config;
}();
static_assert(SioInitScriptLength < SioInitScriptReservedPairs);

// Gives the record the pass reads. The image returns its own read-only copy
// through an address the compiler cannot see through; the host build returns
// the record its engine was given (firmware/platform/BoardConfigImage.cpp,
// engine/HostPortIo.cpp).
//
// @return the board record, never NULL.
const SioBoardConfig* SioBoard();
