// SPDX-License-Identifier: BSD-2-Clause-Patent
// QEMU's human monitor on a UNIX socket: port writes and reads before the
// processor starts (QEMU started with -S), then `cont`. Used to put values
// into the stand-in chip's registers and read them back.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Result.h"

namespace ovmf {

class QemuMonitor {
public:
  // Connects to the monitor socket QEMU creates at Path, waiting up to Bound
  // for it to appear, and reads the greeting up to the first prompt.
  static sio::Result<QemuMonitor> Connect(const std::filesystem::path& Path,
                                          std::chrono::milliseconds Bound);
  QemuMonitor(QemuMonitor&& Other) noexcept;
  QemuMonitor& operator=(QemuMonitor&&) = delete;
  QemuMonitor(const QemuMonitor&) = delete;
  ~QemuMonitor();

  // One command; its answer (the text between the echoed command and the
  // next prompt, without terminal control sequences).
  sio::Result<std::string> Command(const std::string& Text);
  sio::Result<void> WriteByte(uint16_t Port, uint8_t Value);
  sio::Result<uint8_t> ReadByte(uint16_t Port);
  // Lets the processor run; the monitor connection is closed afterwards.
  sio::Result<void> Continue();

private:
  explicit QemuMonitor(int Fd) : Fd_(Fd) {}
  sio::Result<std::string> UntilPrompt();
  int Fd_ = -1;
  std::chrono::milliseconds Bound_{5000};
};

// Register Reg of an index/data pair at IndexPort, written through the
// monitor as the guest would: the index, then the value.
struct IndexedWrite {
  uint8_t Reg = 0;
  uint8_t Value = 0;
};

// Writes each register through the index/data pair and reads every one back
// afterwards; a register that does not read back what was written last is an
// error naming it.
sio::Result<void> PresetIndexedRegisters(QemuMonitor& Monitor, uint16_t IndexPort,
                                         const std::vector<IndexedWrite>& Writes);

// All 256 registers of an index/data pair, read through the monitor.
sio::Result<std::vector<uint8_t>> ReadIndexedRegisters(QemuMonitor& Monitor, uint16_t IndexPort);

} // namespace ovmf
