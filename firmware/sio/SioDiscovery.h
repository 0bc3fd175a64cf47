// SPDX-License-Identifier: BSD-2-Clause-Patent
// Finding the index port at which the chip answers.
#pragma once

#include "sio/SioDeviceEntry.h"

struct SioBoardConfig;

// Probes Entry.IoBase (if not 0), then every candidate port of the board's
// record (SioBoard()) in order, skipping the ones that are 0. Leaves a chip
// that answered in configuration mode.
// @retval the first index port whose chip ID matches Entry, or 0.
UINT16 SioProbeChip(const SioDeviceEntry* Entry);

// Probes every kind-0x7F entry of a terminator-ended list in order.
// @retval the first non-zero port found, or 0.
UINT16 SioFindConfigPort(const SioDeviceEntry* Entries);

// Discovery over the built-in table as the board's record sets it up: its
// configuration entry is probed at the record's ProbePorts (its own port,
// then the candidates).
// @retval the first non-zero port found, or 0.
UINT16 SioFindBoardConfigPort(const SioBoardConfig* Board);
