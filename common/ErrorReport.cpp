// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/ErrorReport.h"

#include <iostream>

namespace sio {

void ReportError(std::string Message) {
  for (char& C : Message) {
    if (static_cast<unsigned char>(C) < 0x20)
      C = '?';
  }
  std::cerr << "sio: error: " << Message << "\n";
}

} // namespace sio
