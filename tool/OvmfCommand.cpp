// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio ovmf [FILE.ffs]`: the module's firmware file added to Debian's OVMF
// IA-32 image and booted under QEMU, so a real PEI Foundation dispatches it;
// prints the module's port accesses decoded as `sio run` does, compares them
// access for access with the board model's pass of the same scenario, and
// tells whether the boot went on to the UEFI Shell. With --chip (or a
// scenario whose chip is the stand-in) QEMU's SB16 mixer answers in the
// chip's place; with --setup or --entry the setup variable is stored in the
// copy of the variable store the boot uses and read back through the Shell's
// dmpstore. Exit code 1 when the Shell was not reached, the traces differ or
// the variable did not read back.
#include <cstdio>
#include <iostream>
#include <memory>

#include "board/ScenarioFile.h"
#include "chip/ImageBoardConfig.h"
#include "chip/Registers.h"
#include "chip/SetupVariable.h"
#include "chip/TraceDecoder.h"
#include "common/DataPaths.h"
#include "common/FileInput.h"
#include "common/InputError.h"
#include "common/JsonFields.h"
#include "engine/HostBoardConfig.h"
#include "engine/HostEngine.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/PeiVolumeInserter.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/QemuRunner.h"
#include "ovmf/SetupVariableStore.h"
#include "pi/VariableStore.h"
#include "tool/Commands.h"
#include "tool/FileOutput.h"
#include "tool/OptionRules.h"
#include "tool/PassDiff.h"
#include "tool/SetupContentOptions.h"

namespace siotool {
namespace {

constexpr size_t kMaxFirmwareFile = 1 << 20;   // the module's file is a few KiB
constexpr size_t kMaxFirmwareImage = 64 << 20; // OVMF's code image is 3.5 MiB
constexpr size_t kAccessColumn = 22;

struct OvmfOptions {
  std::string FfsFile = sio::data::ModuleFile();
  std::string Firmware = sio::data::OvmfCode();
  std::string Vars = sio::data::OvmfVars();
  std::string Output = "OVMF32_CODE_4M.sio.fd";
  std::string VarsOutput = "OVMF32_VARS_4M.sio.fd";
  std::string Qemu = "qemu-system-i386";
  std::string SerialLog;
  std::string ScenarioFile;
  std::string ChipPort;
  std::string SetupFile;
  SetupContentOptions Content; // --entry, --trailer, --from as `sio var store` takes them
  std::string Attributes = "0x3";
  unsigned Bound = 120;
  bool NoBoot = false;
  bool First = false;
  // A Linux kernel the firmware boots after the module (through QEMU's
  // -kernel); the run ends when QEMU does (-no-reboot).
  std::string Kernel;
  std::string Initrd;
  std::string Append = "console=ttyS0";
};

constexpr size_t kMaxSetupFile = 64 << 10;

// The board both QEMU and the board model run: the scenario file's (its chip
// must be the stand-in or absent: QEMU has no model of the Super I/O chip),
// else no chip and no variable; --chip puts the stand-in at a candidate port,
// --setup/--entry give the variable.
board::Scenario BoardFor(const OvmfOptions& O, const chip::BoardConfig& Module) {
  board::Scenario S = board::DefaultScenario();
  if (!O.ScenarioFile.empty()) {
    S = LoadScenarioFile(O.ScenarioFile);
    if (S.ChipPort && S.Kind != board::ChipKind::MixerStandIn)
      throw InputError(O.ScenarioFile +
                       ": chip.kind: QEMU has no model of the Super I/O chip; "
                       "use \"" +
                       std::string(kChipKindMixerStandIn) + "\"");
    // A module dispatched before the platform's variable PEIM finds no
    // variable service: the one fault a real PEI Foundation shows.
    board::PeiFaults Real;
    Real.NoVariablePpi = S.Faults.NoVariablePpi;
    if (!(S.Faults == Real))
      throw InputError(O.ScenarioFile + ": faults: a real PEI Foundation cannot be made to fail "
                                        "(only no_variable_ppi describes a real boot)");
    if (!S.ChipReadAnswers.empty())
      throw InputError(O.ScenarioFile + ": the stand-in answers with its registers only");
  } else {
    S.ChipPort = std::nullopt;
    S.Registers.clear();
    S.SetupVariable = std::nullopt;
  }
  if (!O.ChipPort.empty()) {
    const uint64_t Port = ParseUnsigned(O.ChipPort, "--chip", 0xFFFF);
    const std::vector<uint16_t> Ports = Module.IndexPorts();
    if (std::ranges::find(Ports, Port) == Ports.end()) {
      std::string Listed;
      for (uint16_t P : Ports)
        Listed += (Listed.empty() ? " " : ", ") + Hex(P, 2);
      throw InputError("--chip: " + Hex(Port, 4) + " is not one of the module's index ports" +
                       Listed);
    }
    S.ChipPort = static_cast<uint16_t>(Port);
    S.Kind = board::ChipKind::MixerStandIn;
  }
  if (!O.SetupFile.empty() && O.Content.Given())
    throw InputError("--setup: give the content as a file or as entries, not both");
  if (!O.SetupFile.empty()) {
    S.SetupVariable = ReadInputFile(O.SetupFile, kMaxSetupFile);
  } else if (O.Content.Given()) {
    S.SetupVariable = O.Content.Build(kMaxSetupFile);
  }
  return S;
}

// What the monitor writes into the stand-in before the processor starts: the
// ID bytes, then the presets in order (as the board model applies them).
std::vector<ovmf::IndexedWrite> StandInPresets(const board::Scenario& S) {
  std::vector<ovmf::IndexedWrite> Writes = {{chip::kRegChipIdHigh, S.ChipIdHigh},
                                            {chip::kRegChipIdLow, S.ChipIdLow}};
  for (const auto& Preset : S.Registers)
    Writes.push_back({Preset.Reg, Preset.Value});
  return Writes;
}

void PrintAccesses(const pi::Trace& Accesses, const chip::BoardConfig& Module) {
  for (const auto& E : DecodeTrace(Accesses, Module.IndexPorts())) {
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
  // The board values of the image in the file: what it probes and writes.
  // A file that is no sound module file is refused by the insertion below.
  const auto Read = chip::ReadModuleFileBoardConfig(Ffs);
  const chip::BoardConfig Module = Read ? *Read : chip::DefaultBoardConfig();
  const board::Scenario Board = BoardFor(O, Module);
  auto Image =
      Take(ovmf::OvmfImage::Parse(ReadInputFile(O.Firmware, kMaxFirmwareImage)), O.Firmware);
  auto Inserted = ovmf::InsertPeim(Image.PeiVolume(), Image.PeiVolumeAddress(), Ffs,
                                   O.First ? ovmf::InsertAt::AheadOfPeims : ovmf::InsertAt::End);
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
  if (In.Moved)
    std::printf("\n           ahead of the PEIMs: the files after it moved up 0x%zX bytes and "
                "were rebased",
                In.Moved);
  std::printf("\n           %s image rebased to 0x%08X (%zu relocations)\n", In.Te ? "TE" : "PE32",
              In.ImageAddress, In.Relocations);
  std::printf("Wrote:     %s\n", O.Output.c_str());
  std::string Vars = O.Vars;
  if (Board.SetupVariable) {
    const auto Stored =
        Take(ovmf::StoreSetupVariable(ReadInputFile(O.Vars, kMaxFirmwareImage),
                                      *Board.SetupVariable, ParseStoredAttributes(O.Attributes)),
             O.Vars);
    WriteOutputFile(O.VarsOutput, Stored, "variable store");
    Vars = O.VarsOutput;
    std::printf("Setup:     %zu bytes stored as SioF81216aSetup00 (%s) in %s\n",
                Board.SetupVariable->size(),
                pi::FormatVariableAttributes(ParseStoredAttributes(O.Attributes)).c_str(),
                Vars.c_str());
  }
  if (O.NoBoot)
    return 0;

  ovmf::QemuOptions Options;
  Options.Qemu = O.Qemu;
  Options.Code = O.Output;
  Options.VarsTemplate = Vars;
  Options.Bound = std::chrono::seconds(O.Bound);
  if (Board.ChipPort) {
    Options.StandInPort = *Board.ChipPort;
    Options.StandInPresets = StandInPresets(Board);
    std::printf("Chip:      stand-in at 0x%04X/0x%04X: QEMU's SB16 mixer (card base 0x%04X), "
                "%zu registers preset through the monitor and read back\n",
                *Board.ChipPort, *Board.ChipPort + 1, *ovmf::StandInBase(*Board.ChipPort),
                Options.StandInPresets.size());
  }
  const bool Linux = !O.Kernel.empty();
  if (Linux) {
    Options.StopAtShell = false;
    Options.ExtraArgs = {"-kernel", O.Kernel, "-append", O.Append, "-no-reboot"};
    if (!O.Initrd.empty())
      Options.ExtraArgs.insert(Options.ExtraArgs.end(), {"-initrd", O.Initrd});
  } else if (Board.SetupVariable) {
    Options.ShellCommands.push_back(ovmf::DumpSetupVariableCommand());
  }
  std::printf("Booting:   %s (q35, SMM, TCG)%s, up to %u s\n", O.Qemu.c_str(),
              Linux ? " and the kernel" : "", O.Bound);
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

  const auto Runs = ovmf::ModuleRuns(Boot.Ports, Module);
  if (Runs.empty())
    std::puts("Module:    made no port access (not dispatched)");
  for (size_t R = 0; R < Runs.size(); ++R) {
    const pi::Trace Accesses = ovmf::AsTheModuleWroteIt(Runs[R]);
    std::cout << "Module's port accesses under the PEI Foundation"
              << (Runs.size() > 1 ? " (dispatch " + std::to_string(R + 1) + ")" : "") << " ("
              << Accesses.size() << "):\n";
    std::cout.flush();
    PrintAccesses(Accesses, Module);
  }
  if (!Runs.empty())
    std::cout
        << "  (QEMU's port 0x80 device is one byte wide: it records the 16-bit progress code\n"
           "   write as 0x70 to 0x80 and 0x00 to 0x81, joined here)\n";

  bool Same = Runs.size() == 1;
  if (Runs.size() != 1)
    std::cout << "Model:     dispatched " << Runs.size()
              << " times; the board model runs the module once\n";
  if (Runs.size() == 1) {
    const SioBoardConfig Record = Module.Record();
    engine::ScopedBoardConfig Scoped(Record);
    const pi::Trace Model = ovmf::AsQemuSeesIt(engine::RunHostPass(Board).Events);
    const auto Differences = DiffTraces("QEMU", ovmf::AsTheModuleWroteIt(Runs[0]), "board model",
                                        ovmf::AsTheModuleWroteIt(Model));
    Same = Differences.empty();
    if (Same) {
      std::cout << "Model:     identical to the board model (" << Runs[0].size()
                << " accesses as QEMU records them)\n";
    } else {
      std::cout << "Model:     differs from the board model:\n";
      for (const auto& Line : Differences)
        std::cout << "  " << Line << "\n";
    }
  }
  bool ReadBack = true;
  if (Board.SetupVariable && !Linux) {
    ReadBack = false;
    if (Boot.ShellAnswers.empty()) {
      std::cout << "Variable:  not read back (the Shell did not answer `"
                << ovmf::DumpSetupVariableCommand() << "`)\n";
    } else if (auto Shown = ovmf::ParseDumpedVariable(Boot.ShellAnswers[0]); !Shown) {
      std::cout << "Variable:  " << Shown.Message() << "\n";
    } else {
      ReadBack = *Shown == *Board.SetupVariable;
      std::cout << "Variable:  `" << ovmf::DumpSetupVariableCommand() << "` shows " << Shown->size()
                << " bytes, "
                << (ReadBack ? "equal to the stored content" : "NOT the stored content") << "\n";
    }
  }
  char Line[128];
  if (Linux) {
    std::snprintf(Line, sizeof Line, "Boot:      %s after %.1f s\n",
                  Boot.TimedOut ? "stopped, the kernel did NOT power off" : "QEMU ended",
                  Boot.Seconds);
    std::cout << Line;
    return !Boot.TimedOut && Same ? 0 : 1;
  }
  if (Boot.ReachedShell)
    std::snprintf(Line, sizeof Line, "Boot:      reached the UEFI Shell after %.1f s\n",
                  Boot.Seconds);
  else
    std::snprintf(Line, sizeof Line, "Boot:      did NOT reach the UEFI Shell (%s after %.1f s)\n",
                  Boot.TimedOut ? "stopped" : "QEMU ended", Boot.Seconds);
  std::cout << Line;
  return Boot.ReachedShell && Same && ReadBack ? 0 : 1;
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
      ->transform(DecimalOrHex(1, 3600));
  Cmd->add_option("--serial-log", O->SerialLog, "Write the serial console output here");
  Cmd->add_flag("--no-boot", O->NoBoot, "Only write the patched image (and variable store)");
  Cmd->add_option("--scenario", O->ScenarioFile,
                  "Board for QEMU and the board model (chip kind \"qemu-sb16-mixer\" or no chip)");
  Cmd->add_option("--chip", O->ChipPort,
                  "Put the chip's stand-in (QEMU's SB16 mixer) at this index port: 0x2E, 0x4E, "
                  "0x162E or 0x164E");
  Cmd->add_option("--setup", O->SetupFile,
                  "Store this setup variable content (as `sio var encode` writes "
                  "it) in the copy of the variable store the boot uses");
  O->Content.AddTo(*Cmd, false);
  Cmd->add_option("--attributes", O->Attributes,
                  "Attributes of the stored setup variable (0x7 adds run-time access, so that "
                  "an operating system can read it)")
      ->capture_default_str();
  Cmd->add_option("--vars-output", O->VarsOutput,
                  "Where to write the variable store with the setup variable")
      ->capture_default_str();
  Cmd->add_flag("--first", O->First,
                "Put the module's file ahead of the other PEIMs (only its dependency expression "
                "then orders it after the variable service)");
  auto* Kernel = Cmd->add_option("--kernel", O->Kernel,
                                 "Boot this Linux kernel after the firmware (QEMU -kernel); the "
                                 "run ends when QEMU ends");
  Cmd->add_option("--initrd", O->Initrd, "Its initramfs")->needs(Kernel);
  Cmd->add_option("--append", O->Append, "Its command line")->needs(Kernel)->capture_default_str();
  Cmd->callback([O, &ExitCode] { ExitCode = Run(*O); });
}

} // namespace siotool
