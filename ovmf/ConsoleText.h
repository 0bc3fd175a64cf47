// SPDX-License-Identifier: BSD-2-Clause-Patent
// Text as a terminal shows it: what QEMU's monitor and the firmware's serial
// console send, with the terminal control sequences (ESC [ ... letter: colours,
// cursor moves) and carriage returns taken out.
#pragma once

#include <string>
#include <string_view>

namespace ovmf {

std::string PlainConsoleText(std::string_view Text);

} // namespace ovmf
