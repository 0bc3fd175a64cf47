// SPDX-License-Identifier: BSD-2-Clause-Patent
// Finding the index port at which the chip answers.
#pragma once

#include "sio/SioDeviceEntry.h"

struct SioBoardConfig;

// Probes ports in order, skipping the ones that are 0, until a chip answers
// with an entry's chip ID. A chip that answered is left in configuration
// mode.
//
// @param[in] Entry  the entry whose chip ID bytes are compared.
// @param[in] Ports  the ports probed.
// @param[in] Count  the number of Ports, at least 1.
//
// @return the first port at which the chip answered, or 0 when none did.
UINT16 SioProbePorts(const SioDeviceEntry* Entry, const UINT16* Ports, UINTN Count);

// Finds the index port at which the chip answers. Every configuration entry
// (kind 0x7F) of Entries is probed in turn at each of the board record's
// ProbePorts in order (its own port, then the candidates), skipping the
// ports that are 0; an entry's chip ID bytes are compared, its IoBase is not
// used.
//
// @param[in] Entries  the device entries, up to the first whose two chip ID
//                     bytes are 0.
// @param[in] Board    the board record whose ProbePorts are probed.
//
// @return the first index port at which a chip matched an entry, or 0 when
//         none did.
UINT16 SioFindConfigPort(const SioDeviceEntry* Entries, const SioBoardConfig* Board);

// Discovery as the pass runs it: SioFindConfigPort over the built-in table
// (SioDeviceTable).
//
// @param[in] Board  the board record whose ProbePorts are probed.
//
// @return the first index port at which the chip answered, or 0 when none
//         did.
UINT16 SioFindBoardConfigPort(const SioBoardConfig* Board);
