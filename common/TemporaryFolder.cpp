// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/TemporaryFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdlib.h>

namespace sio {

Result<TemporaryFolder> TemporaryFolder::Create(const std::string& Prefix) {
  const char* Base = std::getenv("TMPDIR");
  std::string Template = std::string(Base && *Base ? Base : "/tmp") + "/" + Prefix + ".XXXXXX";
  if (::mkdtemp(Template.data()) == nullptr)
    return Fail(ErrorKind::Io,
                Template + ": cannot create a temporary folder: " + std::strerror(errno));
  return TemporaryFolder(Template);
}

TemporaryFolder::TemporaryFolder(TemporaryFolder&& Other) noexcept : Path_(std::move(Other.Path_)) {
  Other.Path_.clear();
}

TemporaryFolder::~TemporaryFolder() {
  if (Path_.empty())
    return;
  std::error_code Ignored; // a folder already gone, or one that cannot go, is left as it is
  std::filesystem::remove_all(Path_, Ignored);
}

} // namespace sio
