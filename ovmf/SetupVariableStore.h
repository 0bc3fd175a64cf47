// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable "SioF81216aSetup00" in OVMF's variable store, the way
// the firmware finds it at boot: stored into a copy of the store before the
// boot, and read back afterwards from the UEFI Shell's `dmpstore` output.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"

namespace ovmf {

// Non-volatile and boot-service access: the operating system cannot rewrite
// the chip's settings at run time.
inline constexpr uint32_t kStoredSetupAttributes = 0x3;

// A copy of Vars (a store, its volume or a flash image holding it) with the
// setup variable added, or replacing the one there.
// Attributes: kStoredSetupAttributes unless the user chose others.
sio::Result<std::vector<uint8_t>> StoreSetupVariable(std::span<const uint8_t> Vars,
                                                     std::span<const uint8_t> Content,
                                                     uint32_t Attributes = kStoredSetupAttributes);

// The Shell command that dumps the setup variable.
std::string DumpSetupVariableCommand();

// The variable's content as the Shell's `dmpstore` printed it: the hex dump
// lines ("  00000000: 02 16 00 12 00 01 00 00-5A 00 00 00 ...  *...*") after
// the line naming the variable. An error when the output names no such
// variable or its dump is not the size it declares.
sio::Result<std::vector<uint8_t>> ParseDumpedVariable(const std::string& ShellOutput);

} // namespace ovmf
