// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reads a whole file into memory; nullopt when it cannot be read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pe {

std::optional<std::vector<uint8_t>> ReadFileBytes(const std::string& Path);

} // namespace pe
