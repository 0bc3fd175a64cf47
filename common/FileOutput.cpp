// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/FileOutput.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "common/FileInput.h"

namespace sio {
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

const char* KindOf(mode_t Mode) {
  if (S_ISLNK(Mode))
    return "a symbolic link";
  if (S_ISCHR(Mode))
    return "a character device";
  if (S_ISBLK(Mode))
    return "a block device";
  if (S_ISFIFO(Mode))
    return "a pipe";
  if (S_ISSOCK(Mode))
    return "a socket";
  return "not a regular file";
}

// Moves From to the new name To, never replacing a file that has appeared
// there: renameat2's RENAME_NOREPLACE, or, on a file system without it, a
// hard link (which fails on an existing name) whose old name the caller
// removes. 0, or -1 with errno set (EEXIST when To exists).
int MoveToNewName(const std::string& From, const std::string& To, bool& Linked) {
  Linked = false;
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0)
    return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    return -1;
  if (::link(From.c_str(), To.c_str()) != 0)
    return -1;
  Linked = true;
  return 0;
}

// The rename is durable once the folder's entry is on disk.
Result<void> SyncFolder(const std::filesystem::path& Folder, const std::string& Failed) {
  int Dir = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Dir < 0 || ::fsync(Dir) != 0) {
    int Error = errno;
    if (Dir >= 0)
      ::close(Dir);
    errno = Error;
    return Fail(ErrorKind::Io, Failed + "written, but the folder could not be synced: " + Reason());
  }
  ::close(Dir);
  return {};
}

mode_t NewFileMode() {
  mode_t Mask = ::umask(0);
  ::umask(Mask);
  return 0666 & ~Mask;
}

} // namespace

Result<void> WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes,
                             const char* What, bool Overwrite) {
  return WriteOutputFile(Path, Bytes, What, Overwrite, {});
}

Result<void>
WriteOutputFile(const std::string& Path, std::span<const uint8_t> Bytes, const char* What,
                bool Overwrite,
                const std::function<void(const std::string& Temporary)>& BeforeRename) {
  const std::string Failed = Path + ": cannot write the " + What + ": ";
  if (IsInputOfThisRun(Path))
    return Fail(ErrorKind::Refused, Path + ": is an input of this run; write the " +
                                        std::string(What) + " to another file");
  struct stat Existing {};
  const bool Exists = ::lstat(Path.c_str(), &Existing) == 0;
  if (Exists && S_ISDIR(Existing.st_mode))
    return Fail(ErrorKind::Refused, Path + ": is a directory, not a place for the " + What);
  if (Exists && !S_ISREG(Existing.st_mode))
    return Fail(ErrorKind::Refused, Path + ": exists and is " + KindOf(Existing.st_mode) +
                                        "; the " + What +
                                        " goes to a new name or over a regular file");
  if (Exists && !Overwrite)
    return Fail(ErrorKind::Refused, Path + ": exists (give --force to replace it)");
  const mode_t Mode = Exists ? Existing.st_mode & 07777 : NewFileMode();

  const std::filesystem::path Target(Path);
  std::filesystem::path Folder = Target.parent_path();
  if (Folder.empty())
    Folder = ".";
  TemporaryFile Temporary((Folder / ("." + Target.filename().string() + ".XXXXXX")).string());
  if (!Temporary.Opened())
    return Fail(ErrorKind::Io,
                Failed + "cannot create a temporary file in " + Folder.string() + ": " + Reason());
  if (!WriteAll(Temporary.Fd(), Bytes) || ::fchmod(Temporary.Fd(), Mode) != 0 ||
      ::fsync(Temporary.Fd()) != 0 || !Temporary.Close())
    return Fail(ErrorKind::Io, Failed + Reason());
  if (BeforeRename)
    BeforeRename(Temporary.Path());

  // A name that was new at the check above is taken only while it still is:
  // whatever appeared there since is left as it is.
  bool Linked = false;
  const int Renamed = Exists ? ::rename(Temporary.Path().c_str(), Path.c_str())
                             : MoveToNewName(Temporary.Path(), Path, Linked);
  if (Renamed != 0) {
    if (errno == EEXIST)
      return Fail(ErrorKind::Refused,
                  Path + ": appeared while the " + What + " was written; left as it is");
    return Fail(ErrorKind::Io, Failed + Reason());
  }
  // A hard link leaves the temporary name, which the destructor removes.
  if (Linked)
    return SyncFolder(Folder, Failed);
  Temporary.Renamed();
  return SyncFolder(Folder, Failed);
}

} // namespace sio
