// SPDX-License-Identifier: BSD-2-Clause-Patent
// Writing a file a command produces, atomically: the bytes go to a new file
// with a unique name in the output's folder (created exclusively, so no
// existing file, link or folder is followed or replaced), are synced to disk,
// and the file is renamed into place and the folder synced. Everything a
// command checks is checked before it calls the writer. A failed write
// never leaves a torn file under the output's name (even when it is also the
// input). Failures are errors naming the file and the system's reason: a
// refusal (nothing written) or an I/O error.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "common/Result.h"

namespace sio {

// What: what is written, for the message ("firmware file"). Refused
// (ErrorKind::Refused, nothing written): an output that names a file read as an input
// of this run (sio::IsInputOfThisRun: by name, or by device and inode), and an
// existing name that is not a regular file (a device node, a folder, a link,
// a pipe). With Overwrite false an existing regular file is refused too (the
// caller's --force lifts that). An output that did not exist is renamed into
// place without replacing, so one that appeared meanwhile is left as it is and
// refused. A replaced regular file's permission bits carry over to the new
// one; a new file gets 0666 less the umask, as any created file does.
[[nodiscard]] Result<void> WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes,
                                           const char* What, bool Overwrite = true);

// The same, with BeforeRename called once the temporary file (its name
// given) is written and synced, just before it is renamed into place: where
// the tests put a file in the output's way or take the folder away.
[[nodiscard]] Result<void>
WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What,
                bool Overwrite,
                const std::function<void(const std::string& Temporary)>& BeforeRename);

} // namespace sio
