// SPDX-License-Identifier: BSD-2-Clause-Patent
// Files a user names: read whole, up to a size limit,
// with one-line errors that name the file ("x.json: cannot open file", "is
// a directory", "longer than 67 bytes", "exists").
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/Result.h"

namespace sio {

// Every file read is remembered as an input of this run, by its name and by
// its device and inode, for IsInputOfThisRun. Errors: a folder or a file
// longer than MaxSize (bad input), one that cannot be opened or read (I/O).
Result<std::vector<uint8_t>> ReadInputFile(const std::string& Path, size_t MaxSize);

// True when Path names a file ReadInputFile has read in this process: the
// same name, or another name (a hard link, a link, another spelling) of the
// same device and inode. The output writer refuses to write over an input.
bool IsInputOfThisRun(const std::string& Path);

} // namespace sio
