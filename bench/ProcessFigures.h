// SPDX-License-Identifier: BSD-2-Clause-Patent
// What this process itself uses, read from /proc: the figure a soak run or a
// reuse test watches to see that repeated passes leave nothing behind.
#pragma once

namespace bench {

// Resident set size of this process in KiB.
long ResidentKib();

} // namespace bench
