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

// Every file read is remembered as an input of this run, by its name and by
// its device and inode, for IsInputOfThisRun.
std::vector<uint8_t> ReadInputFile(const std::string& Path, size_t MaxSize);

// True when Path names a file ReadInputFile has read in this process: the
// same name, or another name (a hard link, a link, another spelling) of the
// same device and inode. The output writer refuses to write over an input.
bool IsInputOfThisRun(const std::string& Path);

} // namespace sio
