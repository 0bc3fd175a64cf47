// Writing a file a command produces: through a temporary file renamed into
// place, so a failed write never leaves a torn file under the output's name
// (even when it is also the input). Failures are InputErrors naming the file.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace siotool {

// What: what is written, for the message ("firmware file"). With Overwrite
// false an existing file is refused (the caller's --force lifts that).
void WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What,
                     bool Overwrite = true);

} // namespace siotool
