// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/QemuRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "ovmf/QemuPortTrace.h"

extern char** environ;

namespace ovmf {
namespace {

constexpr const char* kStartupPrompt = "Press";
constexpr const char* kTraceEvents = "memory_region_ops_write\nmemory_region_ops_read\n";
constexpr uint16_t kMixerIndexOffset = 4; // the SB16 mixer's index port, from the card's base
constexpr std::chrono::seconds kMonitorBound{10};
constexpr int kConsoleTickMs = 50; // a console script is asked at least this often

// A private directory for the vars copy and the event list, removed on exit.
class ScratchDir {
public:
  ScratchDir() {
    std::error_code Error;
    std::string Pattern =
        (std::filesystem::temp_directory_path(Error) / "sio-ovmf-XXXXXX").string();
    if (!Error && mkdtemp(Pattern.data()) != nullptr)
      Path_ = Pattern;
  }
  ~ScratchDir() {
    std::error_code Ignored;
    if (!Path_.empty())
      std::filesystem::remove_all(Path_, Ignored);
  }
  bool Made() const { return !Path_.empty(); }
  const std::filesystem::path& Path() const { return Path_; }

private:
  std::filesystem::path Path_;
};

struct Pipe {
  int Fd[2] = {-1, -1};
  Pipe() {
    if (pipe2(Fd, O_CLOEXEC) != 0)
      Fd[0] = Fd[1] = -1;
  }
  bool Open() const { return Fd[0] >= 0; }
  ~Pipe() { CloseBoth(); }
  void Close(int Which) {
    if (Fd[Which] >= 0)
      close(Fd[Which]);
    Fd[Which] = -1;
  }
  void CloseBoth() {
    Close(0);
    Close(1);
  }
};

// Splits a byte stream into lines and hands each to the trace parser.
class TraceReader {
public:
  explicit TraceReader(QemuBoot& Boot) : Boot_(Boot) {}
  void Feed(const char* Data, size_t Size) {
    Partial_.append(Data, Size);
    size_t Start = 0;
    for (size_t End; (End = Partial_.find('\n', Start)) != std::string::npos; Start = End + 1)
      Line(std::string_view(Partial_).substr(Start, End - Start));
    Partial_.erase(0, Start);
  }

private:
  void Line(std::string_view Text) {
    if (auto E = ParsePortAccess(Text)) {
      Boot_.Ports.push_back(*E);
    } else if (Text.find("memory_region_ops_") == std::string_view::npos && !Text.empty() &&
               Boot_.QemuMessages.size() < 4096) {
      Boot_.QemuMessages.append(Text).append("\n");
    }
  }
  QemuBoot& Boot_;
  std::string Partial_;
};

} // namespace

std::optional<uint16_t> StandInBase(uint16_t IndexPort) {
  if (IndexPort < kMixerIndexOffset)
    return std::nullopt;
  return static_cast<uint16_t>(IndexPort - kMixerIndexOffset);
}

sio::Result<std::vector<std::string>> QemuCommand(const QemuOptions& Options,
                                                  const std::filesystem::path& VarsCopy,
                                                  const std::filesystem::path& Events,
                                                  const std::filesystem::path& MonitorSocket) {
  std::vector<std::string> Args = {
      Options.Qemu, "-machine", "q35,smm=on,accel=tcg", "-m", "256", "-display", "none",
      "-nodefaults", "-no-user-config", "-global", "driver=cfi.pflash01,property=secure,value=on",
      "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + Options.Code.string(), "-drive",
      "if=pflash,format=raw,unit=1,file=" + VarsCopy.string(), "-serial", "stdio",
      // The log backend writes the events to stderr.
      "-trace", "events=" + Events.string()};
  if (!Options.S3)
    Args.insert(Args.end(), {"-global", "ICH9-LPC.disable_s3=1"});
  if (Options.StandInPort) {
    const auto Base = StandInBase(*Options.StandInPort);
    if (!Base)
      return sio::Fail(sio::ErrorKind::Refused, "no stand-in chip can sit at index port " +
                                                    std::to_string(*Options.StandInPort));
    char Device[64];
    std::snprintf(Device, sizeof Device, "sb16,iobase=0x%X,audiodev=standin", *Base);
    // Held before the first instruction until the monitor has set the registers.
    for (const std::string& A :
         {std::string("-S"), std::string("-monitor"),
          "unix:" + MonitorSocket.string() + ",server,nowait", std::string("-audiodev"),
          std::string("none,id=standin"), std::string("-device"), std::string(Device)})
      Args.push_back(A);
  }
  Args.insert(Args.end(), Options.ExtraArgs.begin(), Options.ExtraArgs.end());
  return Args;
}

sio::Result<QemuBoot> BootFirmware(const QemuOptions& Options) {
  std::error_code FileError;
  if (!std::filesystem::is_regular_file(Options.Code, FileError))
    return sio::Fail(sio::ErrorKind::Io, "no firmware image at " + Options.Code.string());
  ScratchDir Scratch;
  if (!Scratch.Made())
    return sio::Fail(sio::ErrorKind::Io,
                     "cannot make a scratch directory: " + std::string(std::strerror(errno)));
  const auto Vars = Scratch.Path() / "vars.fd";
  std::error_code CopyError;
  if (!std::filesystem::copy_file(Options.VarsTemplate, Vars, CopyError))
    return sio::Fail(sio::ErrorKind::Io, "cannot copy the variable store " +
                                             Options.VarsTemplate.string() + ": " +
                                             CopyError.message());
  const auto Events = Scratch.Path() / "events";
  const auto MonitorSocket = Scratch.Path() / "monitor";
  std::ofstream(Events) << kTraceEvents;

  auto Command = QemuCommand(Options, Vars, Events, MonitorSocket);
  if (!Command)
    return Command.Failure();
  const auto& Args = *Command;
  std::vector<char*> Argv;
  for (const auto& A : Args)
    Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);

  Pipe In, Out, Err;
  if (!In.Open() || !Out.Open() || !Err.Open())
    return sio::Fail(sio::ErrorKind::Io, "pipe: " + std::string(std::strerror(errno)));
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, In.Fd[0], 0);
  posix_spawn_file_actions_adddup2(&Actions, Out.Fd[1], 1);
  posix_spawn_file_actions_adddup2(&Actions, Err.Fd[1], 2);
  pid_t Pid = 0;
  const auto Start = std::chrono::steady_clock::now();
  const int Spawned = posix_spawnp(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  if (Spawned != 0)
    return sio::Fail(sio::ErrorKind::Io,
                     "cannot start " + Options.Qemu + ": " + std::strerror(Spawned));
  In.Close(0);
  Out.Close(1);
  Err.Close(1);

  // A write to QEMU's console after it has gone must not end this process.
  struct sigaction Ignore {
  }, Previous{};
  Ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &Ignore, &Previous);
  if (Options.StandInPort) {
    auto Preset = [&]() -> sio::Result<void> {
      auto Monitor = QemuMonitor::Connect(MonitorSocket, kMonitorBound);
      if (!Monitor)
        return Monitor.Failure();
      if (auto Done =
              PresetIndexedRegisters(*Monitor, *Options.StandInPort, Options.StandInPresets);
          !Done)
        return Done;
      return Monitor->Continue();
    }();
    if (!Preset) {
      kill(Pid, SIGKILL);
      waitpid(Pid, nullptr, 0);
      sigaction(SIGPIPE, &Previous, nullptr);
      return Preset.Within("stand-in chip");
    }
  }
  QemuBoot Boot;
  size_t Answered = 0;         // Shell commands answered
  size_t AnswerStart = 0;      // where the pending command's answer starts in Serial
  bool CommandPending = false; // typed, waiting for the next prompt
  TraceReader Trace(Boot);
  bool KeySent = !Options.SkipStartupDelay || Options.Console;
  bool ConsoleDone = false;
  // The console script speaks for itself: what it types goes to the console.
  const auto Drive = [&](std::string_view Output) {
    const ConsoleTurn Turn = Options.Console(Output);
    if (!Turn.Type.empty() && write(In.Fd[1], Turn.Type.data(), Turn.Type.size()) !=
                                  static_cast<ssize_t>(Turn.Type.size()))
      ConsoleDone = true;
    ConsoleDone = ConsoleDone || Turn.Done;
  };
  std::array<char, 1 << 16> Buffer;
  std::array<pollfd, 2> Fds = {pollfd{Out.Fd[0], POLLIN, 0}, pollfd{Err.Fd[0], POLLIN, 0}};
  const auto Finished = [&] {
    if (Options.Console)
      return ConsoleDone;
    return Options.StopAtShell && Boot.ReachedShell && Answered == Options.ShellCommands.size();
  };
  for (int Open = 2; Open > 0 && !Finished();) {
    const auto Left = Options.Bound - (std::chrono::steady_clock::now() - Start);
    if (Left <= std::chrono::steady_clock::duration::zero()) {
      Boot.TimedOut = true;
      break;
    }
    int Ms =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Left).count()) + 1;
    if (Options.Console)
      Ms = std::min(Ms, kConsoleTickMs);
    const int Ready = poll(Fds.data(), Fds.size(), Ms);
    if (Ready < 0 && errno != EINTR)
      break;
    // Timed keys go out even while only the trace is busy.
    if (Options.Console)
      Drive({});
    for (auto& P : Fds) {
      if (P.fd < 0 || (P.revents & (POLLIN | POLLHUP | POLLERR)) == 0)
        continue;
      const ssize_t Got = read(P.fd, Buffer.data(), Buffer.size());
      if (Got <= 0) {
        P.fd = -1;
        --Open;
        continue;
      }
      if (P.fd == Err.Fd[0]) {
        Trace.Feed(Buffer.data(), static_cast<size_t>(Got));
        continue;
      }
      Boot.Serial.append(Buffer.data(), static_cast<size_t>(Got));
      if (!KeySent && Boot.Serial.find(kStartupPrompt) != std::string::npos) {
        KeySent = write(In.Fd[1], " ", 1) == 1;
      }
      if (!Boot.ReachedShell && Boot.Serial.find(kShellPrompt) != std::string::npos) {
        Boot.ReachedShell = true;
        AnswerStart = Boot.Serial.size();
      }
      if (Options.Console) {
        Drive(std::string_view(Buffer.data(), static_cast<size_t>(Got)));
        continue;
      }
      if (CommandPending) {
        const size_t Prompt = Boot.Serial.find(kShellPrompt, AnswerStart);
        if (Prompt == std::string::npos)
          continue;
        Boot.ShellAnswers.push_back(Boot.Serial.substr(AnswerStart, Prompt - AnswerStart));
        ++Answered;
        CommandPending = false;
        AnswerStart = Prompt + std::string_view(kShellPrompt).size();
      }
      if (Boot.ReachedShell && Answered < Options.ShellCommands.size()) {
        const std::string Line = Options.ShellCommands[Answered] + "\r";
        CommandPending =
            write(In.Fd[1], Line.data(), Line.size()) == static_cast<ssize_t>(Line.size());
        AnswerStart = Boot.Serial.size();
        if (!CommandPending)
          break;
      }
    }
  }
  // Stop QEMU and take in what it wrote before it went.
  kill(Pid, SIGKILL);
  for (auto& P : Fds) {
    if (P.fd != Err.Fd[0])
      continue;
    ssize_t Got;
    while ((Got = read(P.fd, Buffer.data(), Buffer.size())) > 0)
      Trace.Feed(Buffer.data(), static_cast<size_t>(Got));
  }
  int Status = 0;
  waitpid(Pid, &Status, 0);
  sigaction(SIGPIPE, &Previous, nullptr);
  Boot.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  if (!Boot.ReachedShell && !Boot.TimedOut && Boot.Ports.empty())
    return sio::Fail(sio::ErrorKind::Failed, "QEMU stopped without booting: " + Boot.QemuMessages);
  return Boot;
}

} // namespace ovmf
