// Finding the index port at which the chip answers.
#pragma once

#include "sio/SioDeviceEntry.h"

// Probes Entry.IoBase (if not 0), then every candidate port in order. Leaves
// a chip that answered in configuration mode.
// @retval the first index port whose chip ID matches Entry, or 0.
UINT16 SioProbeChip(const SioDeviceEntry* Entry);

// Probes every kind-0x7F entry of a terminator-ended list in order.
// @retval the first non-zero port found, or 0.
UINT16 SioFindConfigPort(const SioDeviceEntry* Entries);
