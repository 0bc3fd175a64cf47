// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module's only way to hardware: single port accesses of a stated width.
// Each call makes exactly one access, in call order; reads are never cached.
// The implementation is picked at link time (x86 in/out on the target, the
// simulated board on the host).
#pragma once

#include "platform/PiPei.h"

// @retval the byte the device at Port returns.
UINT8 PortRead8(UINT16 Port);
void PortWrite8(UINT16 Port, UINT8 Value);
void PortWrite16(UINT16 Port, UINT16 Value);
void PortWrite32(UINT16 Port, UINT32 Value);
