// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio ovmf [FILE.ffs]`: the module in an OVMF code image, booted under QEMU,
// so a real PEI Foundation dispatches it (the pipeline is ovmf/OvmfRun.h).
// The firmware is read for what it needs: the module image built for its PEI's
// processor mode, packed with a dependency it can meet (the read-only
// variable PPI when a PEIM installs it, else TRUE), the QEMU that runs its
// DXE phase, the variable store beside it; a FILE.ffs given is inserted as it
// is. Prints the module's port accesses decoded as `sio run` does, compares
// them access for access with the board model's pass of the same board, and
// tells whether the boot went on to the UEFI Shell. With --chip-port (or a
// scenario whose chip is the stand-in) QEMU's SB16 mixer answers in the
// chip's place; with --setup or --entry the setup variable is stored in the
// copy of the variable store the boot uses and read back through the Shell's
// dmpstore. Exit code 1 when the module was not dispatched (with the reason
// as far as the firmware tells), the Shell was not reached, the traces differ
// or the variable did not read back.
#include <iostream>
#include <memory>

#include "board/ScenarioFile.h"
#include "chip/Registers.h"
#include "chip/SetupVariable.h"
#include "common/DataPaths.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "common/JsonDocument.h"
#include "common/JsonFields.h"
#include "common/OldSpelling.h"
#include "common/TemporaryFolder.h"
#include "ovmf/OvmfRun.h"
#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/OptionRules.h"
#include "tool/OvmfReport.h"
#include "tool/ScenarioOptions.h"
#include "tool/SetupContentOptions.h"
#include "tool/SetupPageScript.h"

namespace siotool {
namespace {

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
  bool Json = false;
};

constexpr size_t kMaxSetupFile = 64 << 10;

// The board both QEMU and the board model run: the scenario's, named or a
// file (its chip must be the stand-in or absent: QEMU has no model of the
// Super I/O chip), else no chip and no variable; --chip-port puts the
// stand-in at a port (the pipeline checks that the module probes it),
// --setup/--entry give the variable.
board::Scenario BoardFor(const OvmfOptions& O) {
  board::Scenario S = board::DefaultScenario();
  if (!O.ScenarioFile.empty()) {
    S = LoadScenarioArgument(O.ScenarioFile, "--scenario");
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
    S.ChipPort = static_cast<uint16_t>(Need(ParseUnsigned(O.ChipPort, "--chip-port", 0xFFFF)));
    S.Kind = board::ChipKind::MixerStandIn;
  }
  if (!O.SetupFile.empty() && O.Content.Given())
    throw InputError("--setup: give the content as a file or as entries, not both");
  if (!O.SetupFile.empty()) {
    S.SetupVariable = Need(sio::ReadInputFile(O.SetupFile, kMaxSetupFile));
  } else if (O.Content.Given()) {
    S.SetupVariable = O.Content.Build(kMaxSetupFile);
  }
  return S;
}

// The request the options make: the firmware, the module, the board, the
// boot. Outputs not named go to OutputFolder.
// With choices, Chosen is the variable as saving them stores it.
ovmf::OvmfRequest RequestFor(const OvmfOptions& O, std::optional<std::vector<uint8_t>>& Chosen) {
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
    if (!O.Choices.empty())
      Chosen = Page.Values;
  }
  R.DriverImages = {{ovmf::Processor::Ia32, O.SetupImage}, {ovmf::Processor::X64, O.X64SetupImage}};
  R.Board = BoardFor(O);
  R.BoardSource = O.ChipPort.empty() ? O.ScenarioFile : "--chip-port";
  R.Attributes = ParseStoredAttributes(O.Attributes);
  R.Qemu = O.Qemu;
  R.Bound = std::chrono::seconds(O.Bound);
  R.Boot = !O.NoBoot;
  if (!O.Kernel.empty()) {
    R.KernelArgs = {"-kernel", O.Kernel, "-append", O.Append, "-no-reboot"};
    if (!O.Initrd.empty())
      R.KernelArgs.insert(R.KernelArgs.end(), {"-initrd", O.Initrd});
  }
  return R;
}

// The report's facts the options give, and which outputs are kept.
OvmfReport ReportFor(const OvmfOptions& O, const ovmf::OvmfRequest& R) {
  OvmfReport Report;
  Report.Firmware = O.Firmware;
  Report.DepexGiven = !O.Depex.empty();
  Report.Attributes = R.Attributes;
  Report.Bound = O.Bound;
  Report.Kernel = !O.Kernel.empty();
  Report.OutputKept = !O.Output.empty();
  Report.VarsKept = !O.VarsOutput.empty();
  return Report;
}

int Run(const OvmfOptions& O) {
  std::optional<std::vector<uint8_t>> Chosen;
  ovmf::OvmfRequest R = RequestFor(O, Chosen);
  OvmfReport Report = ReportFor(O, R);
  Report.ChosenValues = std::move(Chosen);
  // The patched images no option names are kept only while the command runs.
  std::optional<sio::TemporaryFolder> Scratch;
  if (!Report.OutputKept || (!Report.VarsKept && R.Board.SetupVariable)) {
    Scratch.emplace(Need(sio::TemporaryFolder::Create("sio-ovmf")));
    R.OutputFolder = Report.TemporaryFolder = Scratch->Path();
  }
  R.BeforeBoot = [&O, &Report](const ovmf::OvmfRun& Run) {
    if (O.Json)
      return;
    Report.Run = Run;
    PrintOvmfPlan(std::cout, Report);
    PrintOvmfBootStart(std::cout, Report);
  };
  auto Done = ovmf::RunUnderOvmf(R);
  if (!Done)
    throw InputError(Done.Failure());
  Report.Run = std::move(*Done);
  const ovmf::OvmfRun& Run = Report.Run;
  if (Run.Booted && !O.SerialLog.empty())
    Need(sio::WriteOutputFile(
        O.SerialLog,
        {reinterpret_cast<const uint8_t*>(Run.Booted->Serial.data()), Run.Booted->Serial.size()},
        "serial log"));
  if (O.Json)
    std::cout << sio::JsonDocument(OvmfReportToJson(Report));
  else if (O.NoBoot)
    PrintOvmfPlan(std::cout, Report);
  else if (Run.Booted)
    PrintOvmfOutcome(std::cout, Report);
  std::cout.flush();
  // The input was sound; the boot could not happen. A failed run, not bad input.
  if (!O.NoBoot && !Run.Booted)
    throw InputError(Run.Qemu + ": " + Run.BootError, sio::ErrorKind::Failed);
  return O.NoBoot || Report.Passed() ? 0 : 1;
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
                  ".sio.fd, in a temporary folder removed at exit)");
  Cmd->add_option("--qemu", O->Qemu,
                  "QEMU binary (default: qemu-system-i386 for an all-IA-32 firmware, else "
                  "qemu-system-x86_64)");
  Cmd->add_option("--timeout", O->Bound, "Seconds to wait for the Shell prompt")
      ->capture_default_str()
      ->transform(DecimalOrHex(1, 3600));
  Cmd->add_option("--serial-log", O->SerialLog, "Write the serial console output here");
  Cmd->add_flag("--no-boot", O->NoBoot, "Only write the patched image (and variable store)");
  Cmd->add_option("--scenario", O->ScenarioFile,
                  "Board for QEMU and the board model, a scenario of the board's catalog or a "
                  "file (chip kind \"qemu-sb16-mixer\" or no chip)")
      ->type_name("NAME|FILE");
  auto* ChipPort = Cmd->add_option("--chip-port", O->ChipPort,
                                   "Put the chip's stand-in (QEMU's SB16 mixer) at this index "
                                   "port: 0x2E, 0x4E, 0x162E or 0x164E")
                       ->type_name("PORT");
  sio::AddOldSpelling(*Cmd, "--chip", ChipPort, O->ChipPort);
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
                  "store's name with .sio.fd, in a temporary folder removed at exit)");
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
  Cmd->add_flag("--json", O->Json, "Print the report as one JSON document");
  Cmd->callback([O, &ExitCode] { ExitCode = Run(*O); });
}

} // namespace siotool
