// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module's only way to hardware: single port accesses of a stated width.
// Each call makes exactly one access, in call order; reads are never cached.
// The implementation is picked at link time (x86 in/out on the target, the
// simulated board on the host).
#pragma once

#include "platform/PiPei.h"

// Reads one byte from an I/O port.
//
// @param[in] Port  the port read.
//
// @return the byte the device at Port returns.
UINT8 PortRead8(UINT16 Port);

// Writes one byte to an I/O port.
//
// @param[in] Port   the port written.
// @param[in] Value  the byte written.
void PortWrite8(UINT16 Port, UINT8 Value);

// Writes one 16-bit word to an I/O port, in one access.
//
// @param[in] Port   the port written.
// @param[in] Value  the word written.
void PortWrite16(UINT16 Port, UINT16 Value);

// Writes one 32-bit double word to an I/O port, in one access.
//
// @param[in] Port   the port written.
// @param[in] Value  the double word written.
void PortWrite32(UINT16 Port, UINT32 Value);
