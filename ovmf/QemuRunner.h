// SPDX-License-Identifier: BSD-2-Clause-Patent
// Boots an OVMF code image headless in QEMU (q35 with SMM, TCG, secure
// pflash) with every port access recorded, and stops it once the
// UEFI Shell prompt shows on the serial console (and the Shell commands asked
// for have answered) or a time bound passes. Optionally with a stand-in for
// the chip: QEMU's SB16 mixer, its registers preset through the monitor
// before the processor starts.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/BuildPaths.h"
#include "common/Result.h"
#include "ovmf/QemuMonitor.h"
#include "pi/Trace.h"

namespace ovmf {

// What a console script types in answer to the console's output, and
// whether it has ended.
struct ConsoleTurn {
  std::string Type;
  bool Done = false;
};

struct QemuOptions {
  std::string Qemu = "qemu-system-i386";
  std::filesystem::path Code;                                 // read-only pflash unit 0
  std::filesystem::path VarsTemplate = sio::build::kOvmfVars; // copied, unit 1
  std::chrono::seconds Bound{120};
  // The Shell waits 5 s for a key before startup.nsh; a key sent when it asks
  // skips the wait.
  bool SkipStartupDelay = true;
  // The chip's stand-in: QEMU's SB16 card with its mixer's index port here
  // (the card's base is four below) and these registers written through the
  // mixer before the processor starts.
  std::optional<uint16_t> StandInPort;
  std::vector<IndexedWrite> StandInPresets;
  // Typed at the Shell prompt one after another; the boot stops when the last
  // has answered.
  std::vector<std::string> ShellCommands;
  // Drives the console in place of the Shell commands and the startup key:
  // given each piece of console output (and nothing, at least every 50 ms),
  // it answers with the keys to type; the boot stops once it is done.
  std::function<ConsoleTurn(std::string_view Output)> Console;
  // false: run on after the Shell prompt until Bound or until QEMU ends (a
  // kernel started after the firmware).
  bool StopAtShell = true;
  // The machine offers the S3 sleep state. An SMM build whose PEI runs in X64
  // cannot resume from S3 and stops in PEI when the machine offers it.
  bool S3 = true;
  // Added to the command line as given (e.g. -kernel, -initrd, -append).
  std::vector<std::string> ExtraArgs;
};

// The card's base port for a mixer index port (the index sits at base + 4);
// nothing when the port is too low for one.
std::optional<uint16_t> StandInBase(uint16_t IndexPort);

struct QemuBoot {
  bool ReachedShell = false;
  bool TimedOut = false;
  double Seconds = 0;                // from start to stop
  std::string Serial;                // console output
  std::vector<pi::TraceEvent> Ports; // every port access, in order
  std::string QemuMessages;          // QEMU's own complaints, if any
  // The console text each Shell command printed, up to the next prompt.
  std::vector<std::string> ShellAnswers;
};

inline constexpr const char* kShellPrompt = "Shell>";

// An error when QEMU cannot be started or stops before anything happened (its
// message included), or when the stand-in's registers cannot be set: the boot
// did not happen, whatever the firmware.
sio::Result<QemuBoot> BootFirmware(const QemuOptions& Options);

// The command line BootFirmware runs: the vars copy at VarsCopy, the trace
// event list at Events, the monitor (with the stand-in) at MonitorSocket. An
// error when the stand-in cannot sit at the port asked for.
sio::Result<std::vector<std::string>> QemuCommand(const QemuOptions& Options,
                                                  const std::filesystem::path& VarsCopy,
                                                  const std::filesystem::path& Events,
                                                  const std::filesystem::path& MonitorSocket);

} // namespace ovmf
