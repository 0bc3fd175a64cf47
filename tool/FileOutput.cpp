#include "tool/FileOutput.h"

#include <filesystem>
#include <fstream>

#include "tool/InputError.h"

namespace siotool {

void WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What) {
  const std::string Temporary = Path + ".part";
  {
    std::ofstream Out(Temporary, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    if (!Out.flush()) {
      std::error_code Ignored;
      std::filesystem::remove(Temporary, Ignored);
      throw InputError(Path + ": cannot write the " + What);
    }
  }
  std::error_code Error;
  std::filesystem::rename(Temporary, Path, Error);
  if (Error) {
    std::filesystem::remove(Temporary, Error);
    throw InputError(Path + ": cannot write the " + What);
  }
}

} // namespace siotool
