#include "inspect/DevPort.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "tool/JsonFields.h"

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

} // namespace

sio::Result<std::unique_ptr<DevPort>> DevPort::Open(const std::string& Path) {
  int Fd = ::open(Path.c_str(), O_RDWR | O_CLOEXEC);
  if (Fd < 0)
    return sio::Fail(Path + ": " + OpenProblem(errno));
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
  return sio::Fail(Path_ + ": read of port " + siotool::Hex(Port, 4) + ": " + Why);
}

sio::Result<void> DevPort::Write(uint16_t Port, uint8_t Value) {
  ssize_t Put = ::pwrite(Fd_, &Value, 1, Port);
  if (Put == 1)
    return {};
  std::string Why = Put < 0 ? std::strerror(errno) : "nothing written";
  return sio::Fail(Path_ + ": write of " + siotool::Hex(Value) + " to port " +
                   siotool::Hex(Port, 4) + ": " + Why);
}

} // namespace inspect
