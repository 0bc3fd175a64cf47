// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one error line of the programs (`sio`, `sio-inspect`): "sio: error:
// MESSAGE" on stderr, whatever the program or command. Messages quote what
// the user typed; control characters are written as '?' so the line stays
// one line. The caller picks the exit code (2 bad input or usage, 1 a run
// that could not be made).
#pragma once

#include <string>

namespace sio {

void ReportError(std::string Message);

} // namespace sio
