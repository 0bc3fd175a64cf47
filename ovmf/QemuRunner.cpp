#include "ovmf/QemuRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "ovmf/QemuPortTrace.h"

extern char** environ;

namespace ovmf {
namespace {

constexpr const char* kStartupPrompt = "Press";
constexpr const char* kTraceEvents = "memory_region_ops_write\nmemory_region_ops_read\n";

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

std::vector<std::string> QemuCommand(const QemuOptions& Options,
                                     const std::filesystem::path& VarsCopy) {
  return {Options.Qemu, "-machine", "q35,smm=on,accel=tcg", "-m", "256", "-display", "none",
          "-nodefaults", "-no-user-config", "-global",
          "driver=cfi.pflash01,property=secure,value=on", "-drive",
          "if=pflash,format=raw,unit=0,readonly=on,file=" + Options.Code.string(), "-drive",
          "if=pflash,format=raw,unit=1,file=" + VarsCopy.string(), "-serial", "stdio",
          // The log backend writes the events to stderr.
          "-trace", "events=" + (VarsCopy.parent_path() / "events").string()};
}

sio::Result<QemuBoot> BootFirmware(const QemuOptions& Options) {
  std::error_code FileError;
  if (!std::filesystem::is_regular_file(Options.Code, FileError))
    return sio::Fail("no firmware image at " + Options.Code.string());
  ScratchDir Scratch;
  if (!Scratch.Made())
    return sio::Fail("cannot make a scratch directory: " + std::string(std::strerror(errno)));
  const auto Vars = Scratch.Path() / "vars.fd";
  std::error_code CopyError;
  if (!std::filesystem::copy_file(Options.VarsTemplate, Vars, CopyError))
    return sio::Fail("cannot copy the variable store " + Options.VarsTemplate.string() + ": " +
                     CopyError.message());
  std::ofstream(Scratch.Path() / "events") << kTraceEvents;

  const auto Args = QemuCommand(Options, Vars);
  std::vector<char*> Argv;
  for (const auto& A : Args)
    Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);

  Pipe In, Out, Err;
  if (!In.Open() || !Out.Open() || !Err.Open())
    return sio::Fail("pipe: " + std::string(std::strerror(errno)));
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
    return sio::Fail("cannot start " + Options.Qemu + ": " + std::strerror(Spawned));
  In.Close(0);
  Out.Close(1);
  Err.Close(1);

  // A write to QEMU's console after it has gone must not end this process.
  struct sigaction Ignore {
  }, Previous{};
  Ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &Ignore, &Previous);
  QemuBoot Boot;
  TraceReader Trace(Boot);
  bool KeySent = !Options.SkipStartupDelay;
  std::array<char, 1 << 16> Buffer;
  std::array<pollfd, 2> Fds = {pollfd{Out.Fd[0], POLLIN, 0}, pollfd{Err.Fd[0], POLLIN, 0}};
  for (int Open = 2; Open > 0 && !Boot.ReachedShell;) {
    const auto Left = Options.Bound - (std::chrono::steady_clock::now() - Start);
    if (Left <= std::chrono::steady_clock::duration::zero()) {
      Boot.TimedOut = true;
      break;
    }
    const int Ms =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Left).count()) + 1;
    if (poll(Fds.data(), Fds.size(), Ms) < 0 && errno != EINTR)
      break;
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
      if (Boot.Serial.find(kShellPrompt) != std::string::npos)
        Boot.ReachedShell = true;
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
    return sio::Fail("QEMU stopped without booting: " + Boot.QemuMessages);
  return Boot;
}

} // namespace ovmf
