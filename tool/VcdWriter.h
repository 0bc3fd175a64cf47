// SPDX-License-Identifier: BSD-2-Clause-Patent
// Writes a pass's port accesses as a value-change dump that waveform viewers
// (GTKWave, PulseView) open: one access per time step, with the port address,
// the data, the direction (1 write, 0 read), the width in bits and the
// access's number in the trace as signals. Service calls are not port
// accesses and leave no step.
#pragma once

#include <ostream>

#include "pi/Trace.h"

namespace siotool {

void WriteVcd(std::ostream& Out, const pi::Trace& Events);

} // namespace siotool
