// The running machine's I/O ports through the kernel's /dev/port: one byte
// read or written at the file offset equal to the port number.
#pragma once

#include <memory>
#include <string>

#include "inspect/PortAccess.h"

namespace inspect {

inline constexpr const char* kDevPortPath = "/dev/port";

class DevPort final : public PortAccess {
public:
  // Opens Path for reading and writing; the error says why it cannot be
  // (not root, no such device in this kernel, ...) and names Path.
  static sio::Result<std::unique_ptr<DevPort>> Open(const std::string& Path = kDevPortPath);
  ~DevPort() override;
  DevPort(const DevPort&) = delete;
  DevPort& operator=(const DevPort&) = delete;

  sio::Result<uint8_t> Read(uint16_t Port) override;
  sio::Result<void> Write(uint16_t Port, uint8_t Value) override;

private:
  DevPort(int Fd, std::string Path) : Fd_(Fd), Path_(std::move(Path)) {}
  int Fd_;
  std::string Path_;
};

} // namespace inspect
