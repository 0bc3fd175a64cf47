// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/FileOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "common/InputError.h"

namespace siotool {
namespace {

std::string Reason() {
  return std::strerror(errno);
}

// Removes the temporary file on every way out but the rename.
class TemporaryFile {
public:
  explicit TemporaryFile(std::string Template) : Path_(std::move(Template)) {
    // mkostemp opens with O_CREAT | O_EXCL: a name that exists in any form,
    // a dangling link included, is never opened.
    Fd_ = ::mkostemp(Path_.data(), O_CLOEXEC);
  }
  ~TemporaryFile() {
    if (Fd_ >= 0)
      ::close(Fd_);
    if (Fd_ != kNone && !Renamed_)
      ::unlink(Path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool Opened() const { return Fd_ >= 0; }
  int Fd() const { return Fd_; }
  const std::string& Path() const { return Path_; }
  // Closes the file; false with errno set when the close reports an error.
  bool Close() {
    int Fd = Fd_;
    Fd_ = kClosed;
    return ::close(Fd) == 0;
  }
  void Renamed() { Renamed_ = true; }

private:
  static constexpr int kNone = -1;   // never created
  static constexpr int kClosed = -2; // created and closed
  std::string Path_;
  int Fd_ = kNone;
  bool Renamed_ = false;
};

bool WriteAll(int Fd, std::span<const uint8_t> Bytes) {
  while (!Bytes.empty()) {
    ssize_t Done = ::write(Fd, Bytes.data(), Bytes.size());
    if (Done < 0 && errno == EINTR)
      continue;
    if (Done <= 0) {
      if (Done == 0)
        errno = EIO;
      return false;
    }
    Bytes = Bytes.subspan(static_cast<size_t>(Done));
  }
  return true;
}

mode_t NewFileMode() {
  mode_t Mask = ::umask(0);
  ::umask(Mask);
  return 0666 & ~Mask;
}

} // namespace

void WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What,
                     bool Overwrite) {
  const std::string Failed = Path + ": cannot write the " + What + ": ";
  struct stat Existing {};
  const bool Exists = ::lstat(Path.c_str(), &Existing) == 0;
  if (Exists && S_ISDIR(Existing.st_mode))
    throw InputError(Path + ": is a directory, not a place for the " + What);
  if (Exists && !Overwrite)
    throw InputError(Path + ": exists (give --force to replace it)");
  const mode_t Mode =
      Exists && S_ISREG(Existing.st_mode) ? Existing.st_mode & 07777 : NewFileMode();

  const std::filesystem::path Target(Path);
  std::filesystem::path Folder = Target.parent_path();
  if (Folder.empty())
    Folder = ".";
  TemporaryFile Temporary((Folder / ("." + Target.filename().string() + ".XXXXXX")).string());
  if (!Temporary.Opened())
    throw InputError(Failed + "cannot create a temporary file in " + Folder.string() + ": " +
                     Reason());
  if (!WriteAll(Temporary.Fd(), Bytes) || ::fchmod(Temporary.Fd(), Mode) != 0 ||
      ::fsync(Temporary.Fd()) != 0 || !Temporary.Close())
    throw InputError(Failed + Reason());

  // Without --force the rename itself refuses an output that appeared since
  // the check above.
  int Renamed = Overwrite ? ::rename(Temporary.Path().c_str(), Path.c_str())
                          : ::renameat2(AT_FDCWD, Temporary.Path().c_str(), AT_FDCWD, Path.c_str(),
                                        RENAME_NOREPLACE);
  if (Renamed != 0) {
    if (errno == EEXIST)
      throw InputError(Path + ": exists (give --force to replace it)");
    throw InputError(Failed + Reason());
  }
  Temporary.Renamed();
  // The rename is durable once the folder's entry is on disk.
  int Dir = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Dir < 0 || ::fsync(Dir) != 0) {
    int Error = errno;
    if (Dir >= 0)
      ::close(Dir);
    errno = Error;
    throw InputError(Failed + "written, but the folder could not be synced: " + Reason());
  }
  ::close(Dir);
}

} // namespace siotool
