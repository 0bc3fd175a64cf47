// SPDX-License-Identifier: BSD-2-Clause-Patent
// A folder of the process's own under the system's temporary folder ($TMPDIR,
// else /tmp), for files a command needs only while it runs: created with a
// unique name, readable by its owner only, and removed with all it holds when
// the object goes.
#pragma once

#include <string>

#include "common/Result.h"

namespace sio {

class TemporaryFolder {
public:
  // Prefix starts the folder's name ("sio-ovmf" -> /tmp/sio-ovmf.k3Xq9a). An
  // I/O error when it cannot be created.
  static Result<TemporaryFolder> Create(const std::string& Prefix);
  ~TemporaryFolder();
  TemporaryFolder(TemporaryFolder&& Other) noexcept;
  TemporaryFolder& operator=(TemporaryFolder&&) = delete;
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::string& Path() const { return Path_; }

private:
  explicit TemporaryFolder(std::string Path) : Path_(std::move(Path)) {}
  std::string Path_; // empty once moved from
};

} // namespace sio
