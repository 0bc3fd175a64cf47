// SPDX-License-Identifier: BSD-2-Clause-Patent
// Writing a file a command produces, atomically: the bytes go to a new file
// with a unique name in the output's folder (created exclusively, so no
// existing file, link or folder is followed or replaced), are synced to disk,
// and the file is renamed into place and the folder synced. A failed write
// never leaves a torn file under the output's name (even when it is also the
// input). Failures are InputErrors naming the file and the system's reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace siotool {

// What: what is written, for the message ("firmware file"). With Overwrite
// false an existing file is refused (the caller's --force lifts that), and the
// rename itself refuses to replace a file that appeared meanwhile. A replaced
// regular file's permission bits carry over to the new one; a new file gets
// 0666 less the umask, as any created file does.
void WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What,
                     bool Overwrite = true);

} // namespace siotool
