// Files a user names: read whole, up to a size limit, or written whole,
// with one-line errors that name the file ("x.json: cannot open file", "is
// a directory", "longer than 67 bytes", "exists").
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace siotool {

std::vector<uint8_t> ReadInputFile(const std::string& Path, size_t MaxSize);

// Writes Data to Path through a temporary file beside it, renamed into place
// once complete, so a failed write leaves nothing half-written. An existing
// Path is refused unless Overwrite. Errors start with Flag.
void WriteOutputFile(const std::string& Path, std::span<const uint8_t> Data, bool Overwrite,
                     const std::string& Flag);

} // namespace siotool
