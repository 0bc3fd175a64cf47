// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/DevPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/Hex.h"

namespace inspect {
namespace {

std::string OpenProblem(int Errno) {
  switch (Errno) {
  case EACCES:
  case EPERM:
    return geteuid() == 0 ? "permission denied (the kernel refuses raw port access, e.g. when "
                            "locked down)"
                          : "permission denied: run as root (raw port access)";
  case ENOENT:
    return "no such device (this kernel has no /dev/port)";
  default:
    return std::strerror(Errno);
  }
}

std::string Device(const char* Kind, const struct stat& Info) {
  return std::string(Kind) + " " + std::to_string(major(Info.st_rdev)) + ":" +
         std::to_string(minor(Info.st_rdev));
}

// Why the file Fd has open is not the port device; empty when it is.
std::string NotThePortDevice(int Fd) {
  struct stat Info {};
  if (::fstat(Fd, &Info) != 0)
    return std::strerror(errno);
  if (S_ISCHR(Info.st_mode) && major(Info.st_rdev) == kPortDeviceMajor &&
      minor(Info.st_rdev) == kPortDeviceMinor)
    return {};
  std::string Kind = S_ISREG(Info.st_mode)    ? "a regular file"
                     : S_ISDIR(Info.st_mode)  ? "a directory"
                     : S_ISCHR(Info.st_mode)  ? Device("character device", Info)
                     : S_ISBLK(Info.st_mode)  ? Device("block device", Info)
                     : S_ISFIFO(Info.st_mode) ? "a FIFO"
                     : S_ISSOCK(Info.st_mode) ? "a socket"
                                              : "not a device";
  return "not the port device: " + Kind + " (only character device " +
         std::to_string(kPortDeviceMajor) + ":" + std::to_string(kPortDeviceMinor) + ", " +
         kDevPortPath + ", reaches the I/O ports)";
}

} // namespace

sio::Result<std::unique_ptr<DevPort>> DevPort::Open(const std::string& Path) {
  // First a look at the file without opening it for access (O_PATH: no
  // device driver's open runs, so a serial line or a tape is not touched).
  int Look = ::open(Path.c_str(), O_PATH | O_CLOEXEC);
  if (Look < 0)
    return sio::Fail(sio::ErrorKind::Io, Path + ": " + OpenProblem(errno));
  std::string Problem = NotThePortDevice(Look);
  ::close(Look);
  if (!Problem.empty())
    return sio::Fail(sio::ErrorKind::Io, Path + ": " + Problem);
  // Then the file actually opened is checked again, as the path may have
  // been replaced in between.
  int Fd = ::open(Path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (Fd < 0)
    return sio::Fail(sio::ErrorKind::Io, Path + ": " + OpenProblem(errno));
  Problem = NotThePortDevice(Fd);
  if (!Problem.empty()) {
    ::close(Fd);
    return sio::Fail(sio::ErrorKind::Io, Path + ": " + Problem);
  }
  return std::unique_ptr<DevPort>(new DevPort(Fd, Path));
}

DevPort::~DevPort() {
  ::close(Fd_);
}

sio::Result<uint8_t> DevPort::Read(uint16_t Port) {
  uint8_t Byte = 0;
  ssize_t Got = ::pread(Fd_, &Byte, 1, Port);
  if (Got == 1)
    return Byte;
  std::string Why = Got < 0 ? std::strerror(errno) : "no byte there";
  return sio::Fail(sio::ErrorKind::Io, Path_ + ": read of port " + sio::Hex(Port, 4) + ": " + Why);
}

sio::Result<void> DevPort::Write(uint16_t Port, uint8_t Value) {
  ssize_t Put = ::pwrite(Fd_, &Value, 1, Port);
  if (Put == 1)
    return {};
  std::string Why = Put < 0 ? std::strerror(errno) : "nothing written";
  return sio::Fail(sio::ErrorKind::Io, Path_ + ": write of " + sio::Hex(Value, 2) + " to port " +
                                           sio::Hex(Port, 4) + ": " + Why);
}

} // namespace inspect
