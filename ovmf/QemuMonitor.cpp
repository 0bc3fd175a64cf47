// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/QemuMonitor.h"

#include "chip/Registers.h"
#include "common/Hex.h"

#include "ovmf/ConsoleText.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

namespace ovmf {
namespace {

constexpr std::string_view kPrompt = "(qemu) ";

} // namespace

sio::Result<QemuMonitor> QemuMonitor::Connect(const std::filesystem::path& Path,
                                              std::chrono::milliseconds Bound) {
  sockaddr_un Address{};
  Address.sun_family = AF_UNIX;
  if (Path.string().size() >= sizeof Address.sun_path)
    return sio::Fail(sio::ErrorKind::Io, "monitor socket path too long: " + Path.string());
  std::strcpy(Address.sun_path, Path.c_str());
  const auto Until = std::chrono::steady_clock::now() + Bound;
  for (;;) {
    const int Fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (Fd < 0)
      return sio::Fail(sio::ErrorKind::Io, std::string("socket: ") + std::strerror(errno));
    if (connect(Fd, reinterpret_cast<const sockaddr*>(&Address), sizeof Address) == 0) {
      QemuMonitor Monitor(Fd);
      Monitor.Bound_ = Bound;
      if (auto Greeting = Monitor.UntilPrompt(); !Greeting)
        return Greeting.Within("QEMU monitor");
      return Monitor;
    }
    const int Why = errno;
    close(Fd);
    if (std::chrono::steady_clock::now() >= Until)
      return sio::Fail(sio::ErrorKind::Io, "cannot reach QEMU's monitor at " + Path.string() +
                                               ": " + std::strerror(Why));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

QemuMonitor::QemuMonitor(QemuMonitor&& Other) noexcept : Fd_(Other.Fd_), Bound_(Other.Bound_) {
  Other.Fd_ = -1;
}

QemuMonitor::~QemuMonitor() {
  if (Fd_ >= 0)
    close(Fd_);
}

sio::Result<std::string> QemuMonitor::UntilPrompt() {
  std::string Text;
  const auto Until = std::chrono::steady_clock::now() + Bound_;
  while (!Text.ends_with(kPrompt)) {
    const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
        Until - std::chrono::steady_clock::now());
    pollfd P{Fd_, POLLIN, 0};
    if (Left.count() <= 0 || poll(&P, 1, static_cast<int>(Left.count())) == 0)
      return sio::Fail(sio::ErrorKind::Io,
                       "no prompt within " + std::to_string(Bound_.count()) + " ms");
    char Buffer[4096];
    const ssize_t Got = read(Fd_, Buffer, sizeof Buffer);
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got <= 0)
      return sio::Fail(sio::ErrorKind::Io, "connection closed");
    Text.append(Buffer, static_cast<size_t>(Got));
  }
  return Text;
}

sio::Result<std::string> QemuMonitor::Command(const std::string& Text) {
  const std::string Line = Text + "\n";
  if (write(Fd_, Line.data(), Line.size()) != static_cast<ssize_t>(Line.size()))
    return sio::Fail(sio::ErrorKind::Io, "cannot send `" + Text + "` to QEMU's monitor");
  auto Answer = UntilPrompt();
  if (!Answer)
    return Answer.Within("QEMU monitor, `" + Text + "`");
  std::string Out = PlainConsoleText(*Answer);
  Out.erase(Out.size() - kPrompt.size());
  // The echo is the first line.
  const size_t Echo = Out.find('\n');
  return Echo == std::string::npos ? std::string() : Out.substr(Echo + 1);
}

sio::Result<void> QemuMonitor::WriteByte(uint16_t Port, uint8_t Value) {
  auto Answer = Command("o /b " + sio::Hex(Port) + " " + sio::Hex(Value));
  if (!Answer)
    return Answer.Failure();
  if (!Answer->empty())
    return sio::Fail(sio::ErrorKind::Failed, "QEMU monitor, port write: " + *Answer);
  return {};
}

sio::Result<uint8_t> QemuMonitor::ReadByte(uint16_t Port) {
  auto Answer = Command("i /b " + sio::Hex(Port));
  if (!Answer)
    return Answer.Failure();
  // "portb[0x004f] = 0x02"
  unsigned Seen = 0, Value = 0;
  if (std::sscanf(Answer->c_str(), "portb[0x%x] = 0x%x", &Seen, &Value) != 2 || Seen != Port ||
      Value > 0xFF)
    return sio::Fail(sio::ErrorKind::Failed,
                     "QEMU monitor, port read: unexpected answer \"" + *Answer + "\"");
  return static_cast<uint8_t>(Value);
}

sio::Result<void> QemuMonitor::Continue() {
  auto Answer = Command("cont");
  if (!Answer)
    return Answer.Failure();
  close(Fd_);
  Fd_ = -1;
  return {};
}

sio::Result<void> PresetIndexedRegisters(QemuMonitor& Monitor, uint16_t IndexPort,
                                         const std::vector<IndexedWrite>& Writes) {
  const uint16_t DataPort = chip::DataPort(IndexPort);
  for (const IndexedWrite& W : Writes) {
    if (auto Done = Monitor.WriteByte(IndexPort, W.Reg); !Done)
      return Done;
    if (auto Done = Monitor.WriteByte(DataPort, W.Value); !Done)
      return Done;
  }
  // Each register must now hold the last value written to it.
  for (size_t I = 0; I < Writes.size(); ++I) {
    bool Later = false;
    for (size_t J = I + 1; J < Writes.size(); ++J)
      Later = Later || Writes[J].Reg == Writes[I].Reg;
    if (Later)
      continue;
    if (auto Done = Monitor.WriteByte(IndexPort, Writes[I].Reg); !Done)
      return Done;
    auto Value = Monitor.ReadByte(DataPort);
    if (!Value)
      return Value.Failure();
    if (*Value != Writes[I].Value)
      return sio::Fail(sio::ErrorKind::Failed, "register " + sio::Hex(Writes[I].Reg) +
                                                   " at index port " + sio::Hex(IndexPort) +
                                                   " reads " + sio::Hex(*Value) + " after " +
                                                   sio::Hex(Writes[I].Value) + " was written");
  }
  return {};
}

sio::Result<std::vector<uint8_t>> ReadIndexedRegisters(QemuMonitor& Monitor, uint16_t IndexPort) {
  std::vector<uint8_t> Registers;
  for (unsigned Reg = 0; Reg < 0x100; ++Reg) {
    if (auto Done = Monitor.WriteByte(IndexPort, static_cast<uint8_t>(Reg)); !Done)
      return Done.Failure();
    auto Value = Monitor.ReadByte(chip::DataPort(IndexPort));
    if (!Value)
      return Value.Failure();
    Registers.push_back(*Value);
  }
  return Registers;
}

} // namespace ovmf
