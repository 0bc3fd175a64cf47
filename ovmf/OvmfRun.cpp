// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/OvmfRun.h"

#include <algorithm>
#include <bit>
#include <filesystem>

#include "chip/ImageBoardValues.h"
#include "chip/Registers.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "common/Hex.h"
#include "engine/HostBoardValues.h"
#include "engine/HostEngine.h"
#include "ovmf/OvmfImage.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/SetupVariableStore.h"
#include "pe/ImageFile.h"
#include "pi/Checksum.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "pi/FirmwareVolume.h"
#include "pi/KnownGuids.h"

namespace ovmf {
namespace {

namespace fs = std::filesystem;
using sio::Hex;

constexpr size_t kMaxModuleFile = 1 << 20;     // the module's file is a few KiB
constexpr size_t kMaxFirmwareImage = 64 << 20; // OVMF's code images are 2 to 4 MiB

// True when A and B name one file: the same name, or the same device and
// inode.
bool SameFile(const std::string& A, const std::string& B) {
  std::error_code Error;
  if (fs::weakly_canonical(A, Error) == fs::weakly_canonical(B, Error) && !Error)
    return true;
  return fs::equivalent(A, B, Error) && !Error;
}

// The module's firmware file: its image's mode and its dependency expression.
struct FileFacts {
  std::optional<Processor> Mode;
  std::vector<uint8_t> Depex;
};

FileFacts FactsOf(std::span<const uint8_t> File) {
  FileFacts F;
  auto Sections = pi::ListSections(File);
  if (!Sections)
    return F;
  for (const pi::SectionView& S : *Sections) {
    const auto Body = File.subspan(S.DataOffset(), S.DataSize());
    if (S.Type == pi::section_type::kPeiDepex) {
      F.Depex.assign(Body.begin(), Body.end());
    } else if (S.Type == pi::section_type::kPe32 || S.Type == pi::section_type::kTe) {
      if (auto Image = ImageOfSection(Body, S.Type == pi::section_type::kTe))
        if (auto Mode = ProcessorOfMachine(Image->Machine))
          F.Mode = *Mode;
    }
  }
  return F;
}

// True when the module meets the read-only variable PPI at its dispatch: the
// firmware has the service, and the module is dispatched after it: it waits
// for it, or it lies after the variable PEIM (at the end of the volume, the
// PEI Foundation meets the variable PEIM first).
bool VariablePpiAtDispatch(const FirmwareSurvey& Firmware, std::span<const uint8_t> Depex,
                           InsertAt Where) {
  if (!Firmware.HasPeiVariableService())
    return false;
  if (Where == InsertAt::End)
    return true;
  const auto Waits = pi::EvaluatePeiDepex(
      Depex, [](const pi::Guid& Ppi) { return Ppi != pi::kReadOnlyVariable2PpiGuid; });
  return Waits && !*Waits;
}

// What the monitor writes into the stand-in before the processor starts: the
// ID bytes, then the presets in order (as the board model applies them).
std::vector<IndexedWrite> StandInPresets(const board::Scenario& S) {
  std::vector<IndexedWrite> Writes = {{chip::kRegChipIdHigh, S.ChipIdHigh},
                                      {chip::kRegChipIdLow, S.ChipIdLow}};
  for (const auto& Preset : S.Registers)
    Writes.push_back({Preset.Reg, Preset.Value});
  return Writes;
}

// Why the module's file cannot be dispatched, as far as the firmware and the
// file tell (empty: no reason known).
std::vector<std::string> WhyNotDispatched(const OvmfRun& Run, const OvmfImage& Patched) {
  std::vector<std::string> Reasons;
  if (Run.ModuleMode != Run.Firmware.Pei)
    Reasons.push_back(
        "its image is built for " +
        std::string(Run.ModuleMode ? ProcessorName(*Run.ModuleMode) : "another machine") +
        ", and this PEI Foundation runs " + std::string(ProcessorName(Run.Firmware.Pei)) +
        " and loads only such images");
  // Each PPI the expression names, and whether a PEIM of the volume installs it.
  const auto Volume = Patched.PeiVolume();
  std::vector<pi::Guid> Missing;
  for (const pi::Guid& Ppi : pi::DepexPpis(Run.Depex))
    if (PpiInstallers(Volume, Ppi).empty())
      Missing.push_back(Ppi);
  const auto Met = pi::EvaluatePeiDepex(Run.Depex, [&Missing](const pi::Guid& Ppi) {
    return std::ranges::find(Missing, Ppi) == Missing.end();
  });
  if (!Met) {
    Reasons.push_back("its dependency expression cannot be evaluated: " + Met.Message());
  } else if (!*Met) {
    std::string Names;
    for (const pi::Guid& Ppi : Missing)
      Names +=
          (Names.empty() ? "" : ", ") +
          std::string(Ppi == pi::kReadOnlyVariable2PpiGuid ? "the read-only variable PPI " : "") +
          pi::FormatGuid(Ppi);
    Reasons.push_back(Missing.empty()
                          ? "its dependency expression is false whatever is installed"
                          : "its dependency expression is never met: no PEIM of the PEI volume "
                            "installs " +
                                Names + " (as far as their images' PPI descriptors show)");
  }
  // The file must lie in the PEI volume of the image QEMU was given (opened
  // again from the bytes written), which is the volume SEC hands to the PEI
  // Foundation.
  bool InVolume = false;
  if (auto View = pi::ParseVolume(Patched.PeiVolume()))
    InVolume = std::ranges::any_of(
        View->Files, [&Run](const pi::FfsFileView& F) { return F.Name == Run.Added.Name; });
  if (!InVolume)
    Reasons.push_back("the file is not in the PEI volume the firmware dispatches from");
  return Reasons;
}

// A file the run writes that no option names: Name in R.OutputFolder.
std::string OutputPath(const OvmfRequest& R, const std::string& Name) {
  return R.OutputFolder.empty() ? Name : (fs::path(R.OutputFolder) / Name).string();
}

// What the phases hand on to each other besides the run: the code image as
// read and as patched, the module's file, the store with the setup variable.
struct OvmfWork {
  std::optional<OvmfImage> Image; // as read, its PEI volume changed in place
  uint64_t CodeSize = 0;
  std::vector<uint8_t> File;                   // the module's file to insert
  std::optional<std::vector<uint8_t>> Patched; // the rebuilt code image (none: booted as read)
  std::optional<OvmfImage> Code;               // the code image the boot reads, opened
  std::optional<std::vector<uint8_t>> StoreWithSetup;
  std::optional<SetupPageSession> Session; // Setup driven through the console, when asked for
  bool Done = false; // the run ends here, well (no boot asked for, or none possible)
};

// The variable store, with the setup variable when there is one.
sio::Result<void> PrepareStore(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  Run.VarsChosen = R.Vars.empty();
  if (Run.VarsChosen) {
    auto Store = VariableStoreFor(R.Firmware, W.CodeSize);
    if (!Store)
      return Store.Failure();
    Run.Vars = *Store;
  } else {
    Run.Vars = R.Vars;
  }
  Run.VarsBooted = Run.Vars;
  if (Run.Board.SetupVariable) {
    auto Vars = sio::ReadInputFile(Run.Vars, kMaxFirmwareImage);
    if (!Vars)
      return Vars.Failure();
    auto Stored = StoreSetupVariable(*Vars, *Run.Board.SetupVariable, R.Attributes);
    if (!Stored)
      return Stored.Within(Run.Vars);
    Run.VarsBooted = R.VarsOutput.empty() ? OutputPath(R, ChangedCopyName(Run.Vars)) : R.VarsOutput;
    W.StoreWithSetup = std::move(*Stored);
  }
  return {};
}

// Both files (the patched code image, when the firmware was changed, and the
// store's copy) are written only once everything is found and checked; the
// boot reads the code image and the store it copies: neither written file may
// be the other, nor the store copied.
sio::Result<void> WriteOutputs(const OvmfRequest&, OvmfRun& Run, OvmfWork& W) {
  for (const std::string& Other : {Run.Vars, Run.VarsBooted})
    if (SameFile(Run.Output, Other))
      return sio::Fail(Run.Output + ": names the variable store " + Other +
                       "; write the patched firmware to another file");
  if (W.StoreWithSetup && SameFile(Run.VarsBooted, Run.Vars))
    return sio::Fail(Run.VarsBooted + ": is the variable store copied; write the copy with the "
                                      "setup variable to another file");
  if (W.Patched)
    if (auto Written = sio::WriteOutputFile(Run.Output, *W.Patched, "patched firmware"); !Written)
      return Written.Failure();
  if (W.StoreWithSetup) {
    if (auto Written = sio::WriteOutputFile(Run.VarsBooted, *W.StoreWithSetup, "variable store");
        !Written)
      return Written.Failure();
    Run.SetupStored = Run.Board.SetupVariable->size();
  }
  return {};
}

// What is foreseen of the dispatch, and the QEMU that boots it.
sio::Result<void> Foresee(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  Run.Foreseen = WhyNotDispatched(Run, *W.Code);
  Run.QemuChosen = R.Qemu.empty();
  Run.Qemu = Run.QemuChosen ? QemuFor(Run.Firmware) : R.Qemu;
  W.Done = !R.Boot;
  return {};
}

// The boot of the code image Run.Output under QEMU. QEMU that cannot be
// started or held ends the run (BootError), not as an error of the input.
sio::Result<void> Boot(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  QemuOptions Options;
  Options.Qemu = Run.Qemu;
  Options.Code = Run.Output;
  Options.VarsTemplate = Run.VarsBooted;
  Options.Bound = R.Bound;
  Options.S3 = Run.Firmware.Pei != Processor::X64;
  if (Run.Board.ChipPort) {
    Options.StandInPort = *Run.Board.ChipPort;
    Options.StandInPresets = StandInPresets(Run.Board);
  }
  Run.KernelBooted = !R.KernelArgs.empty();
  if (Run.KernelBooted) {
    Options.StopAtShell = false;
    Options.ExtraArgs = R.KernelArgs;
  } else if (Run.SetupStored && !R.SetupPage) {
    Options.ShellCommands.push_back(DumpSetupVariableCommand());
  }
  if (R.SetupPage) {
    W.Session.emplace(*R.SetupPage);
    Options.Console = [&W](std::string_view Output) { return W.Session->Feed(Output); };
  }
  if (R.BeforeBoot)
    R.BeforeBoot(Run);
  auto Booted = BootFirmware(Options);
  if (!Booted) {
    Run.BootError = Booted.Message();
    W.Done = true;
    return {};
  }
  Run.Booted = std::move(*Booted);
  return {};
}

// The module's runs in the boot's trace, against the board model's pass, and
// the setup variable as the Shell showed it.
sio::Result<void> ReadRuns(const OvmfRequest&, OvmfRun& Run, OvmfWork& W) {
  const std::optional<SetupPageSession>& Session = W.Session;
  const QemuBoot& Boot = *Run.Booted;
  Run.Runs = ModuleRuns(Boot.Ports, Run.Module);
  if (Run.Runs.empty()) {
    Run.NotDispatched = Run.Foreseen;
    if (Run.NotDispatched.empty())
      Run.NotDispatched.push_back(
          "no reason found: its image is " + std::string(ProcessorName(Run.Firmware.Pei)) +
          ", its dependency expression can be met and it lies in the PEI volume the firmware "
          "dispatches from (the serial log may tell more)");
  }
  // After Setup saved and reset the machine, the pass judged is the next
  // boot's, and the board model runs it with the bytes `dmpstore` showed.
  const bool AfterReset = Session && Session->Outcome().Reset;
  if (Session) {
    Run.Page = Session->Outcome();
    if (!Run.Page->ShellAnswer) {
      Run.NotShown = "Setup was not driven to the dump";
    } else if (auto Shown = ParseDumpedVariable(*Run.Page->ShellAnswer); !Shown) {
      Run.NotShown = Shown.Message();
    } else {
      Run.Shown = std::move(*Shown);
      Run.Board.SetupVariable = Run.Shown;
    }
  }
  const size_t Boots = Session ? Session->Outcome().Boots : 1;
  if (Run.Runs.size() == Boots && (!AfterReset || Run.Shown)) {
    const SioBoardConfig Record = Run.Module.Record();
    engine::ScopedBoardValues Scoped(Record);
    Run.Model = AsQemuSeesIt(engine::RunHostPass(Run.Board).Events);
    const pi::Trace Qemu = AsTheModuleWroteIt(Run.Runs.back());
    const pi::Trace Model = AsTheModuleWroteIt(Run.Model);
    Run.SameAsModel = std::ranges::equal(Qemu, Model, [](const auto& A, const auto& B) {
      return pi::FormatEvent(A) == pi::FormatEvent(B);
    });
  }
  if (Run.SetupStored && !Run.KernelBooted && !Session) {
    if (Boot.ShellAnswers.empty()) {
      Run.NotShown = "the Shell did not answer `" + DumpSetupVariableCommand() + "`";
    } else if (auto Shown = ParseDumpedVariable(Boot.ShellAnswers[0]); !Shown) {
      Run.NotShown = Shown.Message();
    } else {
      Run.Shown = std::move(*Shown);
    }
  }
  return {};
}

// The module's board values must put the stand-in at one of its ports.
sio::Result<void> CheckStandInPort(const OvmfRequest& R, const OvmfRun& Run) {
  if (!Run.Board.ChipPort)
    return {};
  const std::vector<uint16_t> Ports = Run.Module.IndexPorts();
  if (std::ranges::find(Ports, *Run.Board.ChipPort) != Ports.end())
    return {};
  std::string Listed;
  for (uint16_t P : Ports)
    Listed += (Listed.empty() ? " " : ", ") + Hex(P, 2);
  return sio::Fail(R.BoardSource + ": " + Hex(*Run.Board.ChipPort, 4) +
                   " is not one of the module's index ports" + Listed);
}

// Turns the file named Name in Volume into a pad file of its size: the PEI
// Foundation passes over it. False when the volume holds no such file.
sio::Result<bool> RemoveFile(std::span<uint8_t> Volume, const pi::Guid& Name) {
  auto View = pi::ParseVolume(Volume);
  if (!View)
    return View.Within("PEI volume");
  for (const pi::FfsFileView& F : View->Files) {
    if (F.Name != Name)
      continue;
    const size_t Size =
        std::min(pi::AlignUp(F.Size, pi::kFfsFileAlignment), View->Length - F.Offset);
    pi::WritePadFile(Volume.subspan(F.Offset, Size), View->ErasePolarity);
    pi::SealFvHeader(Volume);
    return true;
  }
  return false;
}

// The copy the firmware holds, booted as it is: its image's mode, dependency
// and board values drive the board model; the code image is not rewritten.
sio::Result<void> UseHeldCopy(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  if (R.SetupDriver)
    return sio::Fail(R.Firmware + ": holds the module; the setup driver is added only beside "
                                  "a module inserted here (give the module's image to "
                                  "replace the copy)");
  const OvmfImage& Image = *W.Image;
  const FirmwareModule& Held = *Run.Held;
  Run.BootsHeld = true;
  Run.ModuleSource = R.Firmware;
  if (auto Mode = ProcessorOfMachine(Held.Machine))
    Run.ModuleMode = *Mode;
  Run.Depex = Held.Depex.value_or(std::vector<uint8_t>{});
  auto Values = chip::ReadBoardValues(Held.Image);
  if (!Values)
    return Values.Within(R.Firmware + ": the module's image in " + Held.Volume);
  Run.Module = *Values;
  Run.Board = R.Board;
  if (auto Port = CheckStandInPort(R, Run); !Port)
    return Port.Failure();
  Run.Added.Name = Held.Name;
  Run.Added.FileOffset = Held.FileOffset;
  Run.Added.ImageAddress = static_cast<uint32_t>(Held.Base);
  Run.Added.Te = Held.Te;
  // Where it lies decides, for a module that does not wait for the variable
  // service, whether the PEI Foundation meets that service first.
  InsertAt Where = InsertAt::End;
  if (auto View = pi::ParseVolume(Image.PeiVolume())) {
    const auto Module = std::ranges::find(View->Files, Held.Name, &pi::FfsFileView::Name);
    const auto Service = std::ranges::find_if(View->Files, [&Run](const pi::FfsFileView& F) {
      return std::ranges::find(Run.Firmware.VariableServices, F.Name) !=
             Run.Firmware.VariableServices.end();
    });
    if (Module < Service)
      Where = InsertAt::AheadOfPeims;
  }
  Run.VariablePpiAtDispatch = VariablePpiAtDispatch(Run.Firmware, Run.Depex, Where);
  if (!Run.VariablePpiAtDispatch)
    Run.Board.Faults.NoVariablePpi = true;
  Run.Output = R.Firmware;
  W.Code = std::move(W.Image);
  return {};
}

// The firmware, and what it needs; the copy of the module it holds.
sio::Result<void> ReadFirmware(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  auto Code = sio::ReadInputFile(R.Firmware, kMaxFirmwareImage);
  if (!Code)
    return Code.Failure();
  W.CodeSize = Code->size();
  auto Image = OvmfImage::Parse(std::move(*Code));
  if (!Image)
    return Image.Within(R.Firmware);
  auto Survey = SurveyFirmware(*Image);
  if (!Survey)
    return Survey.Within(R.Firmware);
  Run.Firmware = *Survey;
  Run.PeiAddress = Image->PeiVolumeAddress();
  if (auto Held = FindFirmwareModule(Image->Original(), packaging::kSioModuleFileName))
    Run.Held = std::move(*Held);
  W.Image = std::move(*Image);
  return {};
}

// The copy the firmware holds, taken out for the one given.
sio::Result<void> TakeOutHeldCopy(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  if (!Run.Held)
    return {};
  auto Removed = RemoveFile(W.Image->PeiVolume(), Run.Held->Name);
  if (!Removed)
    return Removed.Within(R.Firmware);
  Run.Replaced = *Removed;
  return {};
}

// The module's file: given, or packed from the image built for PEI's mode.
sio::Result<void> TakeModuleFile(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  if (!R.FfsFile.empty()) {
    auto Given = sio::ReadInputFile(R.FfsFile, kMaxModuleFile);
    if (!Given)
      return Given.Failure();
    W.File = std::move(*Given);
    Run.ModuleSource = R.FfsFile;
  } else {
    const auto Built = std::ranges::find(R.Images, Run.Firmware.Pei, &ModuleImage::Mode);
    if (Built == R.Images.end())
      return sio::Fail(R.Firmware + ": its PEI runs " +
                       std::string(ProcessorName(Run.Firmware.Pei)) +
                       ", and there is no module image built for " +
                       std::string(ProcessorName(Run.Firmware.Pei)));
    auto Bytes = sio::ReadInputFile(Built->Path, kMaxModuleFile);
    if (!Bytes)
      return Bytes.Failure();
    Run.DepexChoice =
        R.Depex.value_or(Run.Firmware.HasPeiVariableService() ? packaging::DepexChoice::VariablePpi
                                                              : packaging::DepexChoice::True);
    auto Packed = packaging::BuildSioModuleFile(*Bytes, *Run.DepexChoice);
    if (!Packed)
      return Packed.Within(Built->Path);
    W.File = std::move(*Packed);
    Run.ModuleSource = Built->Path;
    Run.Packed = true;
  }
  const FileFacts Facts = FactsOf(W.File);
  Run.ModuleMode = Facts.Mode;
  Run.Depex = Facts.Depex;
  return {};
}

// Into the PEI volume (in memory: nothing is written before every check).
sio::Result<void> InsertModule(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  Run.Output = R.Output.empty() ? OutputPath(R, ChangedCopyName(R.Firmware)) : R.Output;
  auto Inserted = InsertPeim(W.Image->PeiVolume(), W.Image->PeiVolumeAddress(), W.File, R.Where);
  // The volume's refusals (a name it already holds, no room) are about the
  // firmware; the rest about the module's file.
  if (!Inserted)
    return Inserted.Within(Inserted.Failure().Kind == sio::ErrorKind::Refused ? R.Firmware
                                                                              : Run.ModuleSource);
  Run.Added = *Inserted;
  // The PEI Foundation loads only images of its own processor mode: another
  // is refused before anything is written, unless asked for.
  if (Run.ModuleMode != Run.Firmware.Pei && !R.OtherMode)
    return sio::Fail(
        Run.ModuleSource + ": its image is built for " +
        std::string(Run.ModuleMode ? ProcessorName(*Run.ModuleMode) : "another machine") +
        ", and the PEI of " + R.Firmware + " runs " + std::string(ProcessorName(Run.Firmware.Pei)) +
        " (--other-mode inserts it all the same; it is never dispatched)");
  return {};
}

// The board values of the image in the file (what it probes and writes,
// through the check every command makes of a board record), and the board:
// QEMU can only stand in for the chip with its mixer, at one of the module's
// ports.
sio::Result<void> ReadModuleBoard(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  const auto Values = chip::ReadModuleFileBoardValues(W.File);
  if (!Values)
    return Values.Within(Run.ModuleSource);
  Run.Module = *Values;
  Run.Board = R.Board;
  if (auto Port = CheckStandInPort(R, Run); !Port)
    return Port.Failure();
  Run.VariablePpiAtDispatch = VariablePpiAtDispatch(Run.Firmware, Run.Depex, R.Where);
  if (!Run.VariablePpiAtDispatch)
    Run.Board.Faults.NoVariablePpi = true;
  return {};
}

// The setup driver for the firmware's DXE mode, into the DXE volume beside
// the module, when asked for.
sio::Result<void> AddDriver(const OvmfRequest& R, OvmfRun& Run, OvmfWork& W) {
  if (!R.SetupDriver)
    return {};
  const auto Built = std::ranges::find(R.DriverImages, Run.Firmware.Dxe, &ModuleImage::Mode);
  if (Built == R.DriverImages.end())
    return sio::Fail(R.Firmware + ": its DXE runs " + std::string(ProcessorName(Run.Firmware.Dxe)) +
                     ", and there is no setup driver image built for it");
  auto Bytes = sio::ReadInputFile(Built->Path, kMaxModuleFile);
  if (!Bytes)
    return Bytes.Failure();
  auto Driver = AddSetupDriver(*W.Image, Run.Firmware.Dxe, *Bytes, Built->Path);
  if (!Driver)
    return Driver.Within(R.Firmware);
  Run.Driver = std::move(*Driver);
  return {};
}

// The image rebuilt around the changed volumes and opened again.
sio::Result<void> RebuildImage(const OvmfRequest&, OvmfRun& Run, OvmfWork& W) {
  auto Patched = W.Image->Rebuild();
  if (!Patched)
    return Patched.Within(Run.Output);
  auto Check = OvmfImage::Parse(*Patched);
  if (!Check)
    return Check.Within(Run.Output);
  if (!std::ranges::equal(Check->PeiVolume(), W.Image->PeiVolume()))
    return sio::Fail(Run.Output + ": the rebuilt image does not hold the changed PEI volume");
  if (!std::ranges::equal(Check->DxeVolume(), W.Image->DxeVolume()))
    return sio::Fail(Run.Output + ": the rebuilt image does not hold the changed DXE volume");
  W.Patched = std::move(*Patched);
  W.Code = std::move(*Check);
  return {};
}

} // namespace

bool OvmfRun::Passed() const {
  const size_t Passes = Page ? Page->Boots : 1;
  if (!Booted || Runs.size() != Passes || !SameAsModel)
    return false;
  if (Page)
    return Page->Done() && (!Page->Reset || Shown);
  if (KernelBooted)
    return !Booted->TimedOut;
  return Booted->ReachedShell && (!SetupStored || Shown == Board.SetupVariable);
}

std::string QemuFor(const FirmwareSurvey& Firmware) {
  return Firmware.Pei == Processor::Ia32 && Firmware.Dxe == Processor::Ia32 ? "qemu-system-i386"
                                                                            : "qemu-system-x86_64";
}

std::string ChangedCopyName(const std::string& Path) {
  const fs::path Name = fs::path(Path).filename();
  return (Name.extension() == ".fd" ? Name.stem().string() : Name.string()) + ".sio.fd";
}

sio::Result<std::string> VariableStoreFor(const std::string& Code, uint64_t CodeSize) {
  const fs::path Path(Code);
  std::string Name = Path.filename().string();
  const size_t At = Name.find("CODE");
  if (At == std::string::npos)
    return sio::Fail(Code + ": no variable store to go with it (its name holds no \"CODE\"); "
                            "give one with --vars");
  Name.replace(At, 4, "VARS");
  std::vector<std::string> Names = {Name};
  if (const size_t Secure = Name.find(".secboot"); Secure != std::string::npos)
    Names.push_back(std::string(Name).erase(Secure, 8));
  for (const std::string& Candidate : Names) {
    const fs::path Store = Path.parent_path() / Candidate;
    std::error_code Error;
    const auto Size = fs::file_size(Store, Error);
    if (Error)
      continue;
    if (!std::has_single_bit(CodeSize + Size))
      return sio::Fail(Store.string() + ": with " + Code + " it fills " + Hex(CodeSize + Size) +
                       " bytes, not a whole flash; give the store with --vars");
    return Store.string();
  }
  std::string Tried;
  for (const std::string& Candidate : Names)
    Tried += (Tried.empty() ? "" : " or ") + Candidate;
  return sio::Fail(Code + ": no variable store beside it (" + Tried + "); give one with --vars");
}

sio::Result<OvmfRun> RunUnderOvmf(const OvmfRequest& R) {
  // Each phase reads what the ones before left in the run and the work; the
  // first error ends the run, as does a phase that sets Done.
  using Phase = sio::Result<void> (*)(const OvmfRequest&, OvmfRun&, OvmfWork&);
  OvmfRun Run;
  OvmfWork Work;
  const auto Through = [&](std::initializer_list<Phase> Phases) -> sio::Result<void> {
    for (Phase Next : Phases) {
      if (Work.Done)
        break;
      if (auto Done = Next(R, Run, Work); !Done)
        return Done;
    }
    return {};
  };
  auto Read = Through({ReadFirmware});
  if (!Read)
    return Read.Failure();
  // A copy the firmware holds is booted as it is, unless a file or image
  // given takes its place.
  auto Module = Run.Held && !R.Replace ? Through({UseHeldCopy})
                                       : Through({TakeOutHeldCopy, TakeModuleFile, InsertModule,
                                                  ReadModuleBoard, AddDriver, RebuildImage});
  if (!Module)
    return Module.Failure();
  auto Booted = Through({PrepareStore, WriteOutputs, Foresee, Boot, ReadRuns});
  if (!Booted)
    return Booted.Failure();
  return Run;
}

} // namespace ovmf
