// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio ovmf [FILE.ffs]`: the module in an OVMF code image, booted under QEMU,
// so a real PEI Foundation dispatches it (the pipeline is ovmf/OvmfRun.h).
// The firmware is read for what it needs: the module image built for its PEI's
// processor mode, packed with a dependency it can meet (the read-only
// variable PPI when a PEIM installs it, else TRUE), the QEMU that runs its
// DXE phase, the variable store beside it; a FILE.ffs given is inserted as it
// is. Prints the module's port accesses decoded as `sio run` does, compares
// them access for access with the board model's pass of the same board, and
// tells whether the boot went on to the UEFI Shell. With --chip (or a
// scenario whose chip is the stand-in) QEMU's SB16 mixer answers in the
// chip's place; with --setup or --entry the setup variable is stored in the
// copy of the variable store the boot uses and read back through the Shell's
// dmpstore. Exit code 1 when the module was not dispatched (with the reason
// as far as the firmware tells), the Shell was not reached, the traces differ
// or the variable did not read back.
#include <cstdio>
#include <iostream>
#include <memory>

#include "board/ScenarioFile.h"
#include "chip/SetupVariable.h"
#include "chip/TraceDecoder.h"
#include "common/DataPaths.h"
#include "common/ErrorReport.h"
#include "common/FileInput.h"
#include "common/Hex.h"
#include "common/InputError.h"
#include "common/JsonFields.h"
#include "ovmf/OvmfRun.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/SetupVariableStore.h"
#include "pe/PeRecords.h"
#include "pi/VariableStore.h"
#include "tool/Commands.h"
#include "tool/FileOutput.h"
#include "tool/OptionRules.h"
#include "tool/PassDiff.h"
#include "tool/SetupContentOptions.h"
#include "tool/SetupPageScript.h"

namespace siotool {
namespace {

constexpr size_t kAccessColumn = 22;

struct OvmfOptions {
  std::string FfsFile; // empty: the image built for the firmware's PEI, packed here
  std::string Depex;   // for that packing; empty: what the firmware can meet
  std::string Image = sio::data::ImageFile();       // for an IA-32 PEI
  std::string X64Image = sio::data::X64ImageFile(); // for an X64 PEI
  // Either given: it replaces a copy of the module the firmware holds.
  bool ImageGiven = false;
  bool X64ImageGiven = false;
  std::string Firmware = sio::data::OvmfCode();
  std::string Vars; // empty: the store beside the code image
  std::string Output;
  std::string VarsOutput;
  std::string Qemu; // empty: the one that runs the whole firmware
  std::string SerialLog;
  std::string ScenarioFile;
  std::string ChipPort;
  std::string SetupFile;
  SetupContentOptions Content; // --entry, --trailer, --from as `sio var store` takes them
  std::string Attributes = "0x3";
  unsigned Bound = 120;
  bool NoBoot = false;
  bool First = false;
  bool OtherMode = false;
  // The setup driver beside the module, in the DXE volume.
  bool SetupDriver = false;
  std::string SetupImage = sio::data::SetupDxeFile();       // for an IA-32 DXE
  std::string X64SetupImage = sio::data::X64SetupDxeFile(); // for an X64 DXE
  // Setup driven through the console: the page printed, and each choice
  // made, saved, the machine reset and the next boot judged.
  bool SetupPage = false;
  std::vector<std::string> Choices;
  // A Linux kernel the firmware boots after the module (through QEMU's
  // -kernel); the run ends when QEMU does (-no-reboot).
  std::string Kernel;
  std::string Initrd;
  std::string Append = "console=ttyS0";
};

constexpr size_t kMaxSetupFile = 64 << 10;

// The board both QEMU and the board model run: the scenario file's (its chip
// must be the stand-in or absent: QEMU has no model of the Super I/O chip),
// else no chip and no variable; --chip puts the stand-in at a port (the
// pipeline checks that the module probes it), --setup/--entry give the variable.
board::Scenario BoardFor(const OvmfOptions& O) {
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
    S.ChipPort = static_cast<uint16_t>(ParseUnsigned(O.ChipPort, "--chip", 0xFFFF));
    S.Kind = board::ChipKind::MixerStandIn;
  }
  if (!O.SetupFile.empty() && O.Content.Given())
    throw InputError("--setup: give the content as a file or as entries, not both");
  if (!O.SetupFile.empty()) {
    S.SetupVariable = sio::ReadInputFile(O.SetupFile, kMaxSetupFile);
  } else if (O.Content.Given()) {
    S.SetupVariable = O.Content.Build(kMaxSetupFile);
  }
  return S;
}

void PrintAccesses(const pi::Trace& Accesses, const chip::BoardConfig& Module) {
  for (const auto& E : chip::DecodeTrace(Accesses, Module.IndexPorts())) {
    char Index[16];
    std::snprintf(Index, sizeof Index, "%5zu  ", E.Index);
    std::cout << Index << E.Access
              << std::string(E.Access.size() < kAccessColumn ? kAccessColumn - E.Access.size() : 1,
                             ' ')
              << "  " << E.Meaning << "\n";
  }
}

// The dependency expression in words: one of the packing choices, or the PPIs it names.
std::string DescribeDepex(const std::vector<uint8_t>& Depex) {
  if (const auto Choice = packaging::MatchDepexChoice(Depex))
    return "depex " + std::string(packaging::DepexChoiceName(*Choice));
  return Depex.empty() ? "no depex" : "a depex of " + std::to_string(Depex.size()) + " bytes";
}

// Where the setup driver went in the DXE volume, and the room left there.
void PrintAddedDriver(const ovmf::OvmfRun& Run) {
  if (!Run.Driver)
    return;
  const ovmf::AddedDriver& D = *Run.Driver;
  const ovmf::DriverInsertion& In = D.Added;
  std::printf("Driver:    %s (%s, for the firmware's %s DXE) as file %s at offset 0x%zX\n"
              "           of the DXE volume (0x%zX bytes: 0x%zX free before, 0x%zX after)\n",
              D.Source.c_str(), std::string(ovmf::ProcessorName(D.Mode)).c_str(),
              std::string(ovmf::ProcessorName(D.Mode)).c_str(), pi::FormatGuid(In.Name).c_str(),
              In.FileOffset, D.VolumeSize, In.FreeBefore, In.FreeAfter);
}

void PrintPlan(const ovmf::OvmfRun& Run, const OvmfOptions& O) {
  const auto& F = Run.Firmware;
  const std::string Pei(ovmf::ProcessorName(F.Pei)), Dxe(ovmf::ProcessorName(F.Dxe));
  const std::string Mode(Run.ModuleMode ? ovmf::ProcessorName(*Run.ModuleMode)
                                        : "neither IA-32 nor X64");
  std::cout << "Firmware:  " << O.Firmware << ": PEI " << Pei << ", DXE " << Dxe << ", "
            << (F.HasPeiVariableService()
                    ? "PEI variable service in file " + pi::FormatGuid(F.VariableServices[0])
                    : std::string("no PEI variable service (no PEIM installs the read-only "
                                  "variable PPI)"))
            << "\n";
  if (Run.BootsHeld) {
    const ovmf::FirmwareModule& H = *Run.Held;
    std::cout << "Module:    the copy the firmware holds: file " << pi::FormatGuid(H.Name)
              << " at offset " << sio::Hex(H.FileOffset) << " of " << H.Volume << ", " << Mode
              << (H.Te ? " TE" : " PE32") << " image at " << sio::Hex(H.Base, 8) << ", "
              << DescribeDepex(Run.Depex) << "; its board values drive the board model\n"
              << "           (an image or .ffs given replaces it: --image, --x64-image, "
                 "--depex or FILE.ffs)\n";
    if (Run.ModuleMode != F.Pei)
      std::cout << "           the firmware's PEI runs " << Pei
                << ": its PEI Foundation will not load this image\n";
  } else if (Run.Packed) {
    std::cout << "Image:     " << Run.ModuleSource << " (" << Mode << ", for the firmware's " << Pei
              << " PEI), packed with " << DescribeDepex(Run.Depex)
              << (O.Depex.empty()
                      ? (F.HasPeiVariableService() ? " (the firmware has a PEI variable service)"
                                                   : " (the firmware has no PEI variable service)")
                      : " (--depex)")
              << "\n";
  } else {
    std::cout << "Image:     " << Run.ModuleSource << " as given (" << Mode << " image, "
              << DescribeDepex(Run.Depex) << ")\n";
    if (Run.ModuleMode != F.Pei)
      std::cout << "           the firmware's PEI runs " << Pei
                << ": its PEI Foundation will not load this image\n";
  }
  for (const auto& Reason : Run.Foreseen)
    std::cout << "           it will not be dispatched: " << Reason << "\n";
  if (!Run.VariablePpiAtDispatch && F.HasPeiVariableService())
    std::cout << "           dispatched ahead of the variable service: the board model runs "
                 "without the read-only variable PPI\n";
  else if (!F.HasPeiVariableService() && Run.Foreseen.empty())
    std::cout << "           the board model runs without the read-only variable PPI\n";
  std::cout << "QEMU:      " << Run.Qemu
            << (Run.QemuChosen ? (F.Dxe == ovmf::Processor::Ia32
                                      ? " (PEI and DXE are IA-32)"
                                      : " (the firmware's " + Dxe +
                                            " phases need it; qemu-system-i386 cannot run them)")
                               : std::string(" (--qemu)"))
            << "\n";
  if (Run.Replaced)
    std::cout << "Replaced:  the copy the firmware held (file " << pi::FormatGuid(Run.Held->Name)
              << " in " << Run.Held->Volume << ") became a pad file\n";
  if (!Run.BootsHeld) {
    const ovmf::Insertion& In = Run.Added;
    std::printf("Added:     %s as file %s at volume offset 0x%zX",
                Run.Packed ? "the packed image" : Run.ModuleSource.c_str(),
                pi::FormatGuid(In.Name).c_str(), In.FileOffset);
    if (In.PadSize)
      std::printf(" (after a 0x%zX-byte pad file)", In.PadSize);
    std::printf("\n           of the PEI volume at 0x%08X (0x%zX bytes free)", Run.PeiAddress,
                In.FreeBefore);
    if (In.Moved)
      std::printf("\n           ahead of the PEIMs: the files after it moved up 0x%zX bytes and "
                  "were rebased",
                  In.Moved);
    const char* Form = In.Te ? "TE"
                       : Run.ModuleMode
                           ? pe::FindMachine(ovmf::MachineOf(*Run.ModuleMode))->MagicName
                           : "PE";
    std::printf("\n           %s image rebased to 0x%08X (%zu relocations)\n", Form,
                In.ImageAddress, In.Relocations);
    PrintAddedDriver(Run);
    std::printf("Wrote:     %s\n", Run.Output.c_str());
  }
  std::cout << "Vars:      " << Run.Vars << (Run.VarsChosen ? " (beside the code image)" : "")
            << "\n";
  if (Run.SetupStored)
    std::printf("Setup:     %zu bytes stored as SioF81216aSetup00 (%s) in %s\n", *Run.SetupStored,
                pi::FormatVariableAttributes(ParseStoredAttributes(O.Attributes)).c_str(),
                Run.VarsBooted.c_str());
  std::cout.flush();
}

void PrintBootStart(const ovmf::OvmfRun& Run, const OvmfOptions& O) {
  if (Run.Board.ChipPort)
    std::printf("Chip:      stand-in at 0x%04X/0x%04X: QEMU's SB16 mixer (card base 0x%04X), "
                "%zu registers preset through the monitor and read back\n",
                *Run.Board.ChipPort, *Run.Board.ChipPort + 1,
                *ovmf::StandInBase(*Run.Board.ChipPort), 2 + Run.Board.Registers.size());
  std::printf("Booting:   %s (q35, SMM, TCG%s)%s, up to %u s\n", Run.Qemu.c_str(),
              Run.Firmware.Pei == ovmf::Processor::X64
                  ? ", no S3: an X64 PEI cannot resume from it with SMM"
                  : "",
              O.Kernel.empty() ? "" : " and the kernel", O.Bound);
  std::fflush(stdout);
}

// The page as Setup showed it, what the choices did, and the stored bytes
// against what `sio setup --choose` computes. False when they differ or a
// step failed.
bool PrintSetupPage(const ovmf::OvmfRun& Run, const OvmfOptions& O) {
  const ovmf::SetupPageOutcome& P = *Run.Page;
  if (!P.Page.empty())
    std::cout << "Setup:     the page as the firmware shows it:\n" << P.Page;
  if (!P.Failure.empty()) {
    std::cout << "Setup:     failed to " << P.Failure << "; the last screen:\n" << P.LastScreen;
    return false;
  }
  if (O.Choices.empty())
    return true;
  std::cout << "Setup:     with the choices made:\n" << P.Chosen;
  std::cout << "Setup:     saved (F10, Y) and reset from the front page\n";
  if (!Run.Shown) {
    std::cout << "Variable:  not read back after the reset (" << Run.NotShown << ")\n";
    return false;
  }
  const ChosenPage Expected = ChoosePage(O.SetupImage, O.Choices);
  const bool Same = *Run.Shown == Expected.Values;
  std::cout << "Variable:  `" << ovmf::DumpSetupVariableCommand() << "` shows " << Run.Shown->size()
            << " bytes after the reset, " << (Same ? "equal to" : "NOT equal to")
            << " what `sio setup --choose` computes\n";
  if (!Same) {
    std::string Shown, Computed;
    for (uint8_t B : *Run.Shown)
      Shown += " " + sio::Hex(B, 2);
    for (uint8_t B : Expected.Values)
      Computed += " " + sio::Hex(B, 2);
    std::cout << "           shown:   " << Shown << "\n           computed:" << Computed << "\n";
  }
  return Same;
}

int PrintOutcome(const ovmf::OvmfRun& Run, const OvmfOptions& O) {
  const ovmf::QemuBoot& Boot = *Run.Booted;
  if (!O.SerialLog.empty())
    WriteOutputFile(O.SerialLog,
                    {reinterpret_cast<const uint8_t*>(Boot.Serial.data()), Boot.Serial.size()},
                    "serial log");
  if (Run.Runs.empty()) {
    std::puts("Module:    made no port access (not dispatched)");
    for (const auto& Reason : Run.NotDispatched)
      std::cout << "           " << Reason << "\n";
  }
  for (size_t R = 0; R < Run.Runs.size(); ++R) {
    const pi::Trace Accesses = ovmf::AsTheModuleWroteIt(Run.Runs[R]);
    std::cout << "Module's port accesses under the PEI Foundation"
              << (Run.Runs.size() > 1 ? " (dispatch " + std::to_string(R + 1) + ")" : "") << " ("
              << Accesses.size() << "):\n";
    std::cout.flush();
    PrintAccesses(Accesses, Run.Module);
  }
  if (!Run.Runs.empty())
    std::cout
        << "  (QEMU's port 0x80 device is one byte wide: it records the 16-bit progress code\n"
           "   write as 0x70 to 0x80 and 0x00 to 0x81, joined here)\n";
  const size_t Boots = Run.Page ? Run.Page->Boots : 1;
  if (Boots > 1 && !Run.Runs.empty())
    std::cout << "Model:     " << Boots << " boots; the pass judged is the last one's"
              << (Run.Shown ? ", with the variable `dmpstore` showed" : "") << "\n";
  if (Run.Runs.size() != Boots) {
    std::cout << "Model:     dispatched " << Run.Runs.size() << " times in " << Boots << " boot"
              << (Boots == 1 ? "" : "s") << "; the board model runs the module once a boot\n";
    if (Run.Runs.size() > 1)
      std::cout << "           the machine reset and PEI ran again"
                << (Run.Qemu == "qemu-system-i386" && Run.Firmware.Dxe != ovmf::Processor::Ia32
                        ? " (qemu-system-i386 cannot run the firmware's X64 DXE phase)"
                        : "")
                << "\n";
  } else if (Run.SameAsModel) {
    std::cout << "Model:     identical to the board model (" << Run.Runs.back().size()
              << " accesses as QEMU records them)\n";
  } else {
    std::cout << "Model:     differs from the board model:\n";
    for (const auto& Line : DiffTraces("QEMU", ovmf::AsTheModuleWroteIt(Run.Runs.back()),
                                       "board model", ovmf::AsTheModuleWroteIt(Run.Model)))
      std::cout << "  " << Line << "\n";
  }
  bool SameAsSetup = true;
  if (Run.Page)
    SameAsSetup = PrintSetupPage(Run, O);
  if (Run.SetupStored && !Run.KernelBooted && !Run.Page) {
    if (!Run.Shown)
      std::cout << "Variable:  not read back (" << Run.NotShown << ")\n";
    else
      std::cout << "Variable:  `" << ovmf::DumpSetupVariableCommand() << "` shows "
                << Run.Shown->size() << " bytes, "
                << (Run.Shown == Run.Board.SetupVariable ? "equal to the stored content"
                                                         : "NOT the stored content")
                << "\n";
  }
  char Line[128];
  if (Run.KernelBooted)
    std::snprintf(Line, sizeof Line, "Boot:      %s after %.1f s\n",
                  Boot.TimedOut ? "stopped, the kernel did NOT power off" : "QEMU ended",
                  Boot.Seconds);
  else if (Run.Page && O.Choices.empty())
    std::snprintf(Line, sizeof Line, "Boot:      %s after %.1f s (%zu boot%s)\n",
                  Run.Page->Failure.empty() ? "stopped in Setup with the page shown" : "stopped",
                  Boot.Seconds, Run.Page->Boots, Run.Page->Boots == 1 ? "" : "s");
  else if (Boot.ReachedShell)
    std::snprintf(Line, sizeof Line, "Boot:      reached the UEFI Shell after %.1f s%s\n",
                  Boot.Seconds, Run.Page ? " (after the reset)" : "");
  else
    std::snprintf(Line, sizeof Line, "Boot:      did NOT reach the UEFI Shell (%s after %.1f s)\n",
                  Boot.TimedOut ? "stopped" : "QEMU ended", Boot.Seconds);
  std::cout << Line;
  return Run.Passed() && SameAsSetup ? 0 : 1;
}

int Run(const OvmfOptions& O) {
  ovmf::OvmfRequest R;
  R.Firmware = O.Firmware;
  R.Vars = O.Vars;
  R.Output = O.Output;
  R.VarsOutput = O.VarsOutput;
  R.FfsFile = O.FfsFile;
  R.Images = {{ovmf::Processor::Ia32, O.Image}, {ovmf::Processor::X64, O.X64Image}};
  if (!O.Depex.empty()) {
    const auto Choice = packaging::ParseDepexChoice(O.Depex);
    if (!Choice)
      throw InputError("--depex: " + O.Depex + " is not VARIABLE_PPI, TRUE or FALSE");
    R.Depex = *Choice;
  }
  R.Where = O.First ? ovmf::InsertAt::AheadOfPeims : ovmf::InsertAt::End;
  R.Replace = !O.FfsFile.empty() || O.ImageGiven || O.X64ImageGiven || !O.Depex.empty();
  R.OtherMode = O.OtherMode;
  R.SetupDriver = O.SetupDriver || O.SetupPage || !O.Choices.empty();
  if (O.SetupPage || !O.Choices.empty()) {
    // The choices are checked against the page before anything boots.
    const ChosenPage Page = ChoosePage(O.SetupImage, O.Choices);
    R.SetupPage = ScriptFor(Page.Page, O.Choices);
  }
  R.DriverImages = {{ovmf::Processor::Ia32, O.SetupImage}, {ovmf::Processor::X64, O.X64SetupImage}};
  R.Board = BoardFor(O);
  R.BoardSource = O.ChipPort.empty() ? O.ScenarioFile : "--chip";
  R.Attributes = ParseStoredAttributes(O.Attributes);
  R.Qemu = O.Qemu;
  R.Bound = std::chrono::seconds(O.Bound);
  R.Boot = !O.NoBoot;
  if (!O.Kernel.empty()) {
    R.KernelArgs = {"-kernel", O.Kernel, "-append", O.Append, "-no-reboot"};
    if (!O.Initrd.empty())
      R.KernelArgs.insert(R.KernelArgs.end(), {"-initrd", O.Initrd});
  }
  R.Read = [](const std::string& Path, size_t Max) -> sio::Result<std::vector<uint8_t>> {
    try {
      return sio::ReadInputFile(Path, Max);
    } catch (const InputError& E) {
      return sio::Fail(E.what());
    }
  };
  R.Write = [](const std::string& Path, std::span<const uint8_t> Bytes,
               const char* What) -> sio::Result<void> {
    try {
      WriteOutputFile(Path, Bytes, What);
      return {};
    } catch (const InputError& E) {
      return sio::Fail(E.what());
    }
  };
  R.BeforeBoot = [&O](const ovmf::OvmfRun& Run) {
    PrintPlan(Run, O);
    PrintBootStart(Run, O);
  };
  auto Done = ovmf::RunUnderOvmf(R);
  if (!Done)
    throw InputError(Done.Message());
  const ovmf::OvmfRun& Run = *Done;
  if (O.NoBoot) {
    PrintPlan(Run, O);
    return 0;
  }
  if (!Run.Booted) {
    // The input was sound; the boot could not happen. A failed run, not bad input.
    sio::ReportError(Run.Qemu + ": " + Run.BootError);
    return 1;
  }
  return PrintOutcome(Run, O);
}

} // namespace

void AddOvmfCommand(CLI::App& App, int& ExitCode) {
  auto O = std::make_shared<OvmfOptions>();
  auto* Cmd = App.add_subcommand(
      "ovmf", "Add the module's firmware file to OVMF's PEI volume, boot it under QEMU and show "
              "the module's port accesses");
  auto* Ffs = Cmd->add_option("ffs", O->FfsFile,
                              "A module firmware file (.ffs) to insert as it is (default: the "
                              "module image built for the firmware's PEI, packed with a "
                              "dependency the firmware can meet)");
  Cmd->add_option("--depex", O->Depex,
                  "Pack the image with this dependency instead: VARIABLE_PPI, TRUE or FALSE")
      ->excludes(Ffs);
  Cmd->add_option("--image", O->Image, "The module image packed for a firmware whose PEI is IA-32")
      ->capture_default_str()
      ->excludes(Ffs)
      ->each([O](const std::string&) { O->ImageGiven = true; });
  Cmd->add_option("--x64-image", O->X64Image,
                  "The module image packed for a firmware whose PEI is X64")
      ->capture_default_str()
      ->excludes(Ffs)
      ->each([O](const std::string&) { O->X64ImageGiven = true; });
  Cmd->add_option("--firmware", O->Firmware, "OVMF code image")->capture_default_str();
  Cmd->add_option("--vars", O->Vars,
                  "OVMF variable store to copy (default: the one beside the code image)");
  Cmd->add_option("-o,--output", O->Output,
                  "Where to write the patched code image (default: the firmware's name with "
                  ".sio.fd)");
  Cmd->add_option("--qemu", O->Qemu,
                  "QEMU binary (default: qemu-system-i386 for an all-IA-32 firmware, else "
                  "qemu-system-x86_64)");
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
                  "Where to write the variable store with the setup variable (default: the "
                  "store's name with .sio.fd)");
  Cmd->add_flag("--first", O->First,
                "Put the module's file ahead of the other PEIMs (only its dependency expression "
                "then orders it after the variable service)");
  Cmd->add_flag("--other-mode", O->OtherMode,
                "Insert a module whose image is built for the other processor mode than the "
                "firmware's PEI (it is never dispatched; refused without this)");
  Cmd->add_flag("--setup-page", O->SetupPage,
                "Boot to Setup instead of the Shell (the setup driver added), open "
                "Device Manager and the page, and print it as the firmware shows it");
  Cmd->add_option("--choose", O->Choices,
                  "With the page open, set a question as a user would: \"PROMPT=VALUE\" "
                  "(repeatable); then save, reset, and compare the next boot's pass and the "
                  "stored bytes")
      ->type_name("PROMPT=VALUE");
  Cmd->add_flag("--setup-driver", O->SetupDriver,
                "Add the setup driver (the image built for the firmware's DXE "
                "mode) to the DXE volume beside the module");
  Cmd->add_option("--setup-image", O->SetupImage,
                  "The setup driver image added to a firmware whose DXE is IA-32")
      ->capture_default_str();
  Cmd->add_option("--x64-setup-image", O->X64SetupImage,
                  "The setup driver image added to a firmware whose DXE is X64")
      ->capture_default_str();
  auto* Kernel = Cmd->add_option("--kernel", O->Kernel,
                                 "Boot this Linux kernel after the firmware (QEMU -kernel); the "
                                 "run ends when QEMU ends");
  Cmd->add_option("--initrd", O->Initrd, "Its initramfs")->needs(Kernel);
  Cmd->add_option("--append", O->Append, "Its command line")->needs(Kernel)->capture_default_str();
  Cmd->callback([O, &ExitCode] { ExitCode = Run(*O); });
}

} // namespace siotool
