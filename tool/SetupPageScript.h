// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio ovmf --setup-page --choose`: the page the setup driver registers and
// the bytes the choices store, as `sio setup --choose` computes them (the
// driver run in the emulator), and the same choices as the keystrokes that
// make them in the firmware's Setup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hii/HiiDecoder.h"
#include "ovmf/SetupPageSession.h"

namespace siotool {

struct ChosenPage {
  hii::DecodedPage Page;
  std::vector<uint8_t> Values; // the variable as saving the choices stores it
};

// Throws InputError for an image the emulator cannot run to a page, or a
// choice the page refuses.
ChosenPage ChoosePage(const std::string& DriverImage, const std::vector<std::string>& Choices);

// The keystrokes for each "PROMPT=VALUE": a checkbox's state, a numeric's
// digits as Setup's entry box takes them (hex without 0x for a hex question),
// a one-of's option text.
ovmf::SetupPageScript ScriptFor(const hii::DecodedPage& Page,
                                const std::vector<std::string>& Choices);

} // namespace siotool
