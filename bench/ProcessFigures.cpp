// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/ProcessFigures.h"

#include <fstream>

#include <unistd.h>

namespace bench {

long ResidentKib() {
  std::ifstream Statm("/proc/self/statm");
  long Pages = 0;
  long Resident = 0;
  Statm >> Pages >> Resident;
  return Resident * (sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace bench
