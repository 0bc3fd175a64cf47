#include "tool/FileOutput.h"

#include <filesystem>
#include <fstream>

#include "tool/InputError.h"

namespace siotool {

void WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What,
                     bool Overwrite) {
  std::error_code Error;
  if (std::filesystem::is_directory(Path, Error))
    throw InputError(Path + ": is a directory, not a place for the " + What);
  if (!Overwrite && std::filesystem::exists(Path, Error))
    throw InputError(Path + ": exists (give --force to replace it)");
  const std::string Temporary = Path + ".part";
  {
    std::ofstream Out(Temporary, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    if (!Out.flush()) {
      std::filesystem::remove(Temporary, Error);
      throw InputError(Path + ": cannot write the " + What);
    }
  }
  std::filesystem::rename(Temporary, Path, Error);
  if (Error) {
    std::filesystem::remove(Temporary, Error);
    throw InputError(Path + ": cannot write the " + What);
  }
}

} // namespace siotool
