// Boots an OVMF IA-32 code image headless in qemu-system-i386 (q35 with SMM,
// TCG, secure pflash) with every port access recorded, and stops it once the
// UEFI Shell prompt shows on the serial console or a time bound passes.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "board/Trace.h"
#include "common/Result.h"

namespace ovmf {

struct QemuOptions {
  std::string Qemu = "qemu-system-i386";
  std::filesystem::path Code; // read-only pflash unit 0
  std::filesystem::path VarsTemplate = "/usr/share/OVMF/OVMF32_VARS_4M.fd"; // copied, unit 1
  std::chrono::seconds Bound{120};
  // The Shell waits 5 s for a key before startup.nsh; a key sent when it asks
  // skips the wait.
  bool SkipStartupDelay = true;
};

struct QemuBoot {
  bool ReachedShell = false;
  bool TimedOut = false;
  double Seconds = 0;                   // from start to stop
  std::string Serial;                   // console output
  std::vector<board::TraceEvent> Ports; // every port access, in order
  std::string QemuMessages;             // QEMU's own complaints, if any
};

inline constexpr const char* kShellPrompt = "Shell>";

// An error when QEMU cannot be started or stops before anything happened (its
// message included): the boot did not happen, whatever the firmware.
sio::Result<QemuBoot> BootFirmware(const QemuOptions& Options);

// The command line BootFirmware runs (the vars copy at VarsCopy).
std::vector<std::string> QemuCommand(const QemuOptions& Options,
                                     const std::filesystem::path& VarsCopy);

} // namespace ovmf
