// `sio ovmf [FILE.ffs]`: the module's firmware file added to Debian's OVMF
// IA-32 image and booted under QEMU, so a real PEI Foundation dispatches it;
// prints the module's port accesses decoded as `sio run` does and whether the
// boot went on to the UEFI Shell. Exit code 1 when it did not.
#include <cstdio>
#include <iostream>
#include <memory>

#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/QemuRunner.h"
#include "tool/Commands.h"
#include "tool/FileInput.h"
#include "tool/FileOutput.h"
#include "tool/InputError.h"
#include "tool/TraceDecoder.h"

namespace siotool {
namespace {

constexpr size_t kMaxFirmwareFile = 1 << 20;   // the module's file is a few KiB
constexpr size_t kMaxFirmwareImage = 64 << 20; // OVMF's code image is 3.5 MiB
constexpr size_t kAccessColumn = 22;

struct OvmfOptions {
  std::string FfsFile = SIO_MODULE_PATH;
  std::string Firmware = "/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd";
  std::string Vars = "/usr/share/OVMF/OVMF32_VARS_4M.fd";
  std::string Output = "OVMF32_CODE_4M.sio.fd";
  std::string Qemu = "qemu-system-i386";
  std::string SerialLog;
  unsigned Bound = 120;
  bool NoBoot = false;
};

void PrintAccesses(const board::Trace& Accesses) {
  for (const auto& E : DecodeTrace(Accesses)) {
    char Index[16];
    std::snprintf(Index, sizeof Index, "%5zu  ", E.Index);
    std::cout << Index << E.Access
              << std::string(E.Access.size() < kAccessColumn ? kAccessColumn - E.Access.size() : 1,
                             ' ')
              << "  " << E.Meaning << "\n";
  }
}

// The value of Result, or the input error it reports (exit code 2).
template <typename T> T Take(sio::Result<T> Result, const std::string& File) {
  if (!Result)
    throw InputError(File + ": " + Result.Message());
  return std::move(Result).Value();
}

int Run(const OvmfOptions& O) {
  const auto Ffs = ReadInputFile(O.FfsFile, kMaxFirmwareFile);
  auto Image =
      Take(ovmf::OvmfImage::Parse(ReadInputFile(O.Firmware, kMaxFirmwareImage)), O.Firmware);
  auto Inserted = ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), Ffs);
  if (!Inserted)
    throw InputError(O.FfsFile + ": " + Inserted.Message());
  const ovmf::Insertion& In = *Inserted;
  const auto Patched = Take(Image.Rebuild(), O.Output);
  // What is written must open again to the same PEI volume.
  const auto Check = Take(ovmf::OvmfImage::Parse(Patched), O.Output);
  if (!std::ranges::equal(Check.PeiVolume(), Image.PeiVolume()))
    throw InputError(O.Output + ": the rebuilt image does not hold the changed PEI volume");
  WriteOutputFile(O.Output, Patched, "patched firmware");
  std::printf("Firmware:  %s (PEI volume at 0x%08X, 0x%zX bytes free)\n", O.Firmware.c_str(),
              Image.PeiVolumeAddress(), In.FreeBefore);
  std::printf("Added:     %s as file %s at volume offset 0x%zX", O.FfsFile.c_str(),
              pi::FormatGuid(In.Name).c_str(), In.FileOffset);
  if (In.PadSize)
    std::printf(" (after a 0x%zX-byte pad file)", In.PadSize);
  std::printf("\n           %s image rebased to 0x%08X (%zu relocations)\n", In.Te ? "TE" : "PE32",
              In.ImageAddress, In.Relocations);
  std::printf("Wrote:     %s\n", O.Output.c_str());
  if (O.NoBoot)
    return 0;

  ovmf::QemuOptions Options;
  Options.Qemu = O.Qemu;
  Options.Code = O.Output;
  Options.VarsTemplate = O.Vars;
  Options.Bound = std::chrono::seconds(O.Bound);
  std::printf("Booting:   %s (q35, SMM, TCG), up to %u s\n", O.Qemu.c_str(), O.Bound);
  std::fflush(stdout);
  auto Booted = ovmf::BootFirmware(Options);
  if (!Booted) {
    // The input was sound; the boot could not happen. A failed run, not bad input.
    std::cerr << "sio: error: " << O.Qemu << ": " << Booted.Message() << "\n";
    return 1;
  }
  const ovmf::QemuBoot& Boot = *Booted;
  if (!O.SerialLog.empty())
    WriteOutputFile(O.SerialLog,
                    {reinterpret_cast<const uint8_t*>(Boot.Serial.data()), Boot.Serial.size()},
                    "serial log");

  const auto Runs = ovmf::ModuleRuns(Boot.Ports);
  if (Runs.empty())
    std::puts("Module:    made no port access (not dispatched)");
  for (size_t R = 0; R < Runs.size(); ++R) {
    const board::Trace Accesses = ovmf::AsTheModuleWroteIt(Runs[R]);
    std::cout << "Module's port accesses under the PEI Foundation"
              << (Runs.size() > 1 ? " (dispatch " + std::to_string(R + 1) + ")" : "") << " ("
              << Accesses.size() << "):\n";
    std::cout.flush();
    PrintAccesses(Accesses);
  }
  if (!Runs.empty())
    std::cout
        << "  (QEMU's port 0x80 device is one byte wide: it records the 16-bit progress code\n"
           "   write as 0x70 to 0x80 and 0x00 to 0x81, joined here)\n";
  char Line[128];
  if (Boot.ReachedShell)
    std::snprintf(Line, sizeof Line, "Boot:      reached the UEFI Shell after %.1f s\n",
                  Boot.Seconds);
  else
    std::snprintf(Line, sizeof Line, "Boot:      did NOT reach the UEFI Shell (%s after %.1f s)\n",
                  Boot.TimedOut ? "stopped" : "QEMU ended", Boot.Seconds);
  std::cout << Line;
  return Boot.ReachedShell ? 0 : 1;
}

} // namespace

void AddOvmfCommand(CLI::App& App, int& ExitCode) {
  auto O = std::make_shared<OvmfOptions>();
  auto* Cmd = App.add_subcommand(
      "ovmf", "Add the module's firmware file to OVMF's PEI volume, boot it under QEMU and show "
              "the module's port accesses");
  Cmd->add_option("ffs", O->FfsFile, "The module's firmware file (.ffs) as built")
      ->capture_default_str();
  Cmd->add_option("--firmware", O->Firmware, "OVMF IA-32 code image")->capture_default_str();
  Cmd->add_option("--vars", O->Vars, "OVMF variable store to copy")->capture_default_str();
  Cmd->add_option("-o,--output", O->Output, "Where to write the patched code image")
      ->capture_default_str();
  Cmd->add_option("--qemu", O->Qemu, "QEMU binary")->capture_default_str();
  Cmd->add_option("--timeout", O->Bound, "Seconds to wait for the Shell prompt")
      ->capture_default_str()
      ->check(CLI::Range(1u, 3600u));
  Cmd->add_option("--serial-log", O->SerialLog, "Write the serial console output here");
  Cmd->add_flag("--no-boot", O->NoBoot, "Only write the patched image");
  Cmd->callback([O, &ExitCode] { ExitCode = Run(*O); });
}

} // namespace siotool
