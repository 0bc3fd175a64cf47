// SPDX-License-Identifier: BSD-2-Clause-Patent
// Files a user names: read whole, up to a size limit,
// with one-line errors that name the file ("x.json: cannot open file", "is
// a directory", "longer than 67 bytes", "exists").
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sio {

std::vector<uint8_t> ReadInputFile(const std::string& Path, size_t MaxSize);

} // namespace sio
