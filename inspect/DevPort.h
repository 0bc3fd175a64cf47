// SPDX-License-Identifier: BSD-2-Clause-Patent
// The running machine's I/O ports through the kernel's /dev/port: one byte
// read or written at the file offset equal to the port number.
#pragma once

#include <memory>
#include <string>

#include "inspect/PortAccess.h"

namespace inspect {

inline constexpr const char* kDevPortPath = "/dev/port";
// The port device: the only file Open accepts, whatever its path.
inline constexpr unsigned kPortDeviceMajor = 1;
inline constexpr unsigned kPortDeviceMinor = 4;

class DevPort final : public PortAccess {
public:
  // Opens Path for reading and writing, when it is the port device (checked
  // on the file opened, before any access); the error says why it cannot be
  // (not the port device, not root, no such device in this kernel, ...) and
  // names Path.
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
