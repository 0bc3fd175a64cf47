// SPDX-License-Identifier: BSD-2-Clause-Patent
// The text and JSON printers of `sio ovmf`'s report.
#include "tool/OvmfReport.h"

#include <cstdio>

#include "chip/TraceDecoder.h"
#include "common/Hex.h"
#include "ovmf/QemuPortTrace.h"
#include "ovmf/SetupVariableStore.h"
#include "packaging/SioModuleFile.h"
#include "pe/PeRecords.h"
#include "pi/VariableStore.h"
#include "tool/PassDiff.h"

namespace siotool {
namespace {

constexpr size_t kAccessColumn = 22;

// printf-style text of any length: the size is measured first.
template <typename... Args> std::string Format(const char* Pattern, Args... Values) {
  const int Size = std::snprintf(nullptr, 0, Pattern, Values...);
  if (Size <= 0)
    return {};
  std::string Line(static_cast<size_t>(Size) + 1, '\0');
  std::snprintf(Line.data(), Line.size(), Pattern, Values...);
  Line.resize(static_cast<size_t>(Size));
  return Line;
}

// The dependency expression in words: one of the packing choices, or the PPIs it names.
std::string DescribeDepex(const std::vector<uint8_t>& Depex) {
  if (const auto Choice = packaging::MatchDepexChoice(Depex))
    return "depex " + std::string(packaging::DepexChoiceName(*Choice));
  return Depex.empty() ? "no depex" : "a depex of " + std::to_string(Depex.size()) + " bytes";
}

std::string ModeOf(const ovmf::OvmfRun& Run) {
  return std::string(Run.ModuleMode ? ovmf::ProcessorName(*Run.ModuleMode)
                                    : "neither IA-32 nor X64");
}

// What becomes of a file written: kept, or removed with the temporary folder.
std::string Fate(bool Kept, const char* Option) {
  if (Kept)
    return "";
  return std::string(" (in a temporary folder, removed at exit; ") + Option + " keeps it)";
}

void PrintModule(std::ostream& Out, const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  const auto& F = Run.Firmware;
  const std::string Pei(ovmf::ProcessorName(F.Pei));
  if (Run.BootsHeld) {
    const ovmf::FirmwareModule& H = *Run.Held;
    Out << "Module:    the copy the firmware holds: file " << pi::FormatGuid(H.Name)
        << " at offset " << sio::Hex(H.FileOffset) << " of " << H.Volume << ", " << ModeOf(Run)
        << (H.Te ? " TE" : " PE32") << " image at " << sio::Hex(H.Base, 8) << ", "
        << DescribeDepex(Run.Depex) << "; its board values drive the board model\n"
        << "           (an image or .ffs given replaces it: --image, --x64-image, "
           "--depex or FILE.ffs)\n";
  } else if (Run.Packed) {
    Out << "Image:     " << Run.ModuleSource << " (" << ModeOf(Run) << ", for the firmware's "
        << Pei << " PEI), packed with " << DescribeDepex(Run.Depex)
        << (!Report.DepexGiven
                ? (F.HasPeiVariableService() ? " (the firmware has a PEI variable service)"
                                             : " (the firmware has no PEI variable service)")
                : " (--depex)")
        << "\n";
  } else {
    Out << "Image:     " << Run.ModuleSource << " as given (" << ModeOf(Run) << " image, "
        << DescribeDepex(Run.Depex) << ")\n";
  }
  if (!Run.Packed && Run.ModuleMode != F.Pei)
    Out << "           the firmware's PEI runs " << Pei
        << ": its PEI Foundation will not load this image\n";
  for (const auto& Reason : Run.Foreseen)
    Out << "           it will not be dispatched: " << Reason << "\n";
  if (!Run.VariablePpiAtDispatch && F.HasPeiVariableService())
    Out << "           dispatched ahead of the variable service: the board model runs "
           "without the read-only variable PPI\n";
  else if (!F.HasPeiVariableService() && Run.Foreseen.empty())
    Out << "           the board model runs without the read-only variable PPI\n";
}

void PrintInsertion(std::ostream& Out, const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  const ovmf::Insertion& In = Run.Added;
  Out << Format("Added:     %s as file %s at volume offset 0x%zX",
                Run.Packed ? "the packed image" : Run.ModuleSource.c_str(),
                pi::FormatGuid(In.Name).c_str(), In.FileOffset);
  if (In.PadSize)
    Out << Format(" (after a 0x%zX-byte pad file)", In.PadSize);
  Out << Format("\n           of the PEI volume at 0x%08X (0x%zX bytes free)", Run.PeiAddress,
                In.FreeBefore);
  if (In.Moved)
    Out << Format("\n           ahead of the PEIMs: the files after it moved up 0x%zX bytes and "
                  "were rebased",
                  In.Moved);
  const char* Form = In.Te            ? "TE"
                     : Run.ModuleMode ? pe::FindMachine(ovmf::MachineOf(*Run.ModuleMode))->MagicName
                                      : "PE";
  Out << Format("\n           %s image rebased to 0x%08X (%zu relocations)\n", Form,
                In.ImageAddress, In.Relocations);
  if (Run.Driver) {
    const ovmf::AddedDriver& D = *Run.Driver;
    const ovmf::DriverInsertion& Dx = D.Added;
    const std::string Mode(ovmf::ProcessorName(D.Mode));
    Out << Format("Driver:    %s (%s, for the firmware's %s DXE) as file %s at offset 0x%zX\n"
                  "           of the DXE volume (0x%zX bytes: 0x%zX free before, 0x%zX after)\n",
                  D.Source.c_str(), Mode.c_str(), Mode.c_str(), pi::FormatGuid(Dx.Name).c_str(),
                  Dx.FileOffset, D.VolumeSize, Dx.FreeBefore, Dx.FreeAfter);
  }
  Out << "Wrote:     " << Run.Output << Fate(Report.OutputKept, "-o") << "\n";
}

std::string AccessLine(const chip::DecodedEvent& E) {
  const std::string Pad(E.Access.size() < kAccessColumn ? kAccessColumn - E.Access.size() : 1, ' ');
  return Format("%5zu  ", E.Index) + E.Access + Pad + "  " + E.Meaning;
}

// The model's verdict on the module's runs, in lines.
// After Setup saved and reset the machine, the pass judged is the last boot's.
std::vector<std::string> ModelLines(const ovmf::OvmfRun& Run) {
  std::vector<std::string> Lines;
  const size_t Boots = Run.Page ? Run.Page->Boots : 1;
  if (Boots > 1 && !Run.Runs.empty())
    Lines.push_back("Model:     " + std::to_string(Boots) +
                    " boots; the pass judged is the last one's" +
                    (Run.Shown ? ", with the variable `dmpstore` showed" : ""));
  if (Run.Runs.size() != Boots) {
    Lines.push_back("Model:     dispatched " + std::to_string(Run.Runs.size()) + " times in " +
                    std::to_string(Boots) + " boot" + (Boots == 1 ? "" : "s") +
                    "; the board model runs the module once a boot");
    if (Run.Runs.size() > 1)
      Lines.push_back(std::string("           the machine reset and PEI ran again") +
                      (Run.Qemu == "qemu-system-i386" && Run.Firmware.Dxe != ovmf::Processor::Ia32
                           ? " (qemu-system-i386 cannot run the firmware's X64 DXE phase)"
                           : ""));
  } else if (Run.SameAsModel) {
    Lines.push_back("Model:     identical to the board model (" +
                    std::to_string(Run.Runs.back().size()) + " accesses as QEMU records them)");
  } else {
    Lines.push_back("Model:     differs from the board model:");
    for (const auto& Line : DiffTraces("QEMU", ovmf::AsTheModuleWroteIt(Run.Runs.back()),
                                       "board model", ovmf::AsTheModuleWroteIt(Run.Model)))
      Lines.push_back("  " + Line);
  }
  return Lines;
}

std::string BootLine(const ovmf::OvmfRun& Run) {
  const ovmf::QemuBoot& Boot = *Run.Booted;
  if (Run.KernelBooted)
    return Format("Boot:      %s after %.1f s",
                  Boot.TimedOut ? "stopped, the kernel did NOT power off" : "QEMU ended",
                  Boot.Seconds);
  if (Run.Page && !Run.Page->Reset)
    return Format("Boot:      %s after %.1f s (%zu boot%s)",
                  Run.Page->Failure.empty() ? "stopped in Setup with the page shown" : "stopped",
                  Boot.Seconds, Run.Page->Boots, Run.Page->Boots == 1 ? "" : "s");
  if (Boot.ReachedShell)
    return Format("Boot:      reached the UEFI Shell after %.1f s%s", Boot.Seconds,
                  Run.Page ? " (after the reset)" : "");
  return Format("Boot:      did NOT reach the UEFI Shell (%s after %.1f s)",
                Boot.TimedOut ? "stopped" : "QEMU ended", Boot.Seconds);
}

std::string HexBytes(const std::vector<uint8_t>& Bytes) {
  std::string Text;
  for (uint8_t B : Bytes)
    Text += " " + sio::Hex(B, 2);
  return Text;
}

// The page as Setup showed it, what the choices did, and the stored bytes
// against what `sio setup --choose` computes.
void PrintSetupPage(std::ostream& Out, const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  const ovmf::SetupPageOutcome& P = *Run.Page;
  if (!P.Page.empty())
    Out << "Setup:     the page as the firmware shows it:\n" << P.Page;
  if (!P.Failure.empty()) {
    Out << "Setup:     failed to " << P.Failure << "; the last screen:\n" << P.LastScreen;
    return;
  }
  if (!Report.ChosenValues)
    return;
  Out << "Setup:     with the choices made:\n" << P.Chosen;
  Out << "Setup:     saved (F10, Y) and reset from the front page\n";
  if (!Run.Shown) {
    Out << "Variable:  not read back after the reset (" << Run.NotShown << ")\n";
    return;
  }
  const bool Same = Report.SetupAgrees();
  Out << "Variable:  `" << ovmf::DumpSetupVariableCommand() << "` shows " << Run.Shown->size()
      << " bytes after the reset, " << (Same ? "equal to" : "NOT equal to")
      << " what `sio setup --choose` computes\n";
  if (!Same)
    Out << "           shown:   " << HexBytes(*Run.Shown)
        << "\n           computed:" << HexBytes(*Report.ChosenValues) << "\n";
}

Json AccessesToJson(const pi::Trace& Accesses, const chip::BoardValues& Module) {
  Json Out = Json::array();
  for (const auto& E : chip::DecodeTrace(Accesses, Module.IndexPorts()))
    Out.push_back({{"index", E.Index}, {"access", E.Access}, {"meaning", E.Meaning}});
  return Out;
}

} // namespace

void PrintOvmfPlan(std::ostream& Out, const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  const auto& F = Run.Firmware;
  const std::string Pei(ovmf::ProcessorName(F.Pei)), Dxe(ovmf::ProcessorName(F.Dxe));
  Out << "Firmware:  " << Report.Firmware << ": PEI " << Pei << ", DXE " << Dxe << ", "
      << (F.HasPeiVariableService()
              ? "PEI variable service in file " + pi::FormatGuid(F.VariableServices[0])
              : std::string("no PEI variable service (no PEIM installs the read-only "
                            "variable PPI)"))
      << "\n";
  PrintModule(Out, Report);
  Out << "QEMU:      " << Run.Qemu
      << (Run.QemuChosen ? (F.Dxe == ovmf::Processor::Ia32
                                ? " (PEI and DXE are IA-32)"
                                : " (the firmware's " + Dxe +
                                      " phases need it; qemu-system-i386 cannot run them)")
                         : std::string(" (--qemu)"))
      << "\n";
  if (Run.Replaced)
    Out << "Replaced:  the copy the firmware held (file " << pi::FormatGuid(Run.Held->Name)
        << " in " << Run.Held->Volume << ") became a pad file\n";
  if (!Run.BootsHeld)
    PrintInsertion(Out, Report);
  Out << "Vars:      " << Run.Vars << (Run.VarsChosen ? " (beside the code image)" : "") << "\n";
  if (Run.SetupStored)
    Out << Format("Setup:     %zu bytes stored as SioF81216aSetup00 (%s) in %s", *Run.SetupStored,
                  pi::FormatVariableAttributes(Report.Attributes).c_str(), Run.VarsBooted.c_str())
        << Fate(Report.VarsKept, "--vars-output") << "\n";
  Out.flush();
}

void PrintOvmfBootStart(std::ostream& Out, const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  if (Run.Board.ChipPort)
    Out << Format("Chip:      stand-in at 0x%04X/0x%04X: QEMU's SB16 mixer (card base 0x%04X), "
                  "%zu registers preset through the monitor and read back\n",
                  *Run.Board.ChipPort, chip::DataPort(*Run.Board.ChipPort),
                  *ovmf::StandInBase(*Run.Board.ChipPort), 2 + Run.Board.Registers.size());
  Out << Format("Booting:   %s (q35, SMM, TCG%s)%s, up to %u s\n", Run.Qemu.c_str(),
                Run.Firmware.Pei == ovmf::Processor::X64
                    ? ", no S3: an X64 PEI cannot resume from it with SMM"
                    : "",
                Report.Kernel ? " and the kernel" : "", Report.Bound);
  Out.flush();
}

void PrintOvmfOutcome(std::ostream& Out, const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  if (Run.Runs.empty()) {
    Out << "Module:    made no port access (not dispatched)\n";
    for (const auto& Reason : Run.NotDispatched)
      Out << "           " << Reason << "\n";
  }
  for (size_t R = 0; R < Run.Runs.size(); ++R) {
    const pi::Trace Accesses = ovmf::AsTheModuleWroteIt(Run.Runs[R]);
    Out << "Module's port accesses under the PEI Foundation"
        << (Run.Runs.size() > 1 ? " (dispatch " + std::to_string(R + 1) + ")" : "") << " ("
        << Accesses.size() << "):\n";
    for (const auto& E : chip::DecodeTrace(Accesses, Run.Module.IndexPorts()))
      Out << AccessLine(E) << "\n";
  }
  if (!Run.Runs.empty())
    Out << "  (QEMU's port 0x80 device is one byte wide: it records the 16-bit progress code\n"
           "   write as 0x70 to 0x80 and 0x00 to 0x81, joined here)\n";
  for (const auto& Line : ModelLines(Run))
    Out << Line << "\n";
  if (Run.Page)
    PrintSetupPage(Out, Report);
  if (Run.SetupStored && !Run.KernelBooted && !Run.Page) {
    if (!Run.Shown)
      Out << "Variable:  not read back (" << Run.NotShown << ")\n";
    else
      Out << "Variable:  `" << ovmf::DumpSetupVariableCommand() << "` shows " << Run.Shown->size()
          << " bytes, "
          << (Run.Shown == Run.Board.SetupVariable ? "equal to the stored content"
                                                   : "NOT the stored content")
          << "\n";
  }
  Out << BootLine(Run) << "\n";
  Out.flush();
}

Json OvmfReportToJson(const OvmfReport& Report) {
  const ovmf::OvmfRun& Run = Report.Run;
  const auto& F = Run.Firmware;
  Json Doc;
  Doc["firmware"] = {{"path", Report.Firmware},
                     {"pei", ovmf::ProcessorName(F.Pei)},
                     {"dxe", ovmf::ProcessorName(F.Dxe)},
                     {"pei_variable_service", F.HasPeiVariableService()
                                                  ? Json(pi::FormatGuid(F.VariableServices[0]))
                                                  : Json(nullptr)}};
  Json Module = {
      {"source", Run.ModuleSource},
      {"held_copy_booted", Run.BootsHeld},
      {"held_copy_replaced", Run.Replaced},
      {"packed", Run.Packed},
      {"mode", Run.ModuleMode ? Json(ovmf::ProcessorName(*Run.ModuleMode)) : Json(nullptr)},
      {"depex", DescribeDepex(Run.Depex)},
      {"foreseen", Run.Foreseen},
      {"variable_ppi_at_dispatch", Run.VariablePpiAtDispatch}};
  if (!Run.BootsHeld)
    Module["added"] = {{"file", pi::FormatGuid(Run.Added.Name)},
                       {"volume_offset", sio::Hex(Run.Added.FileOffset)},
                       {"pad_size", Run.Added.PadSize},
                       {"free_before", Run.Added.FreeBefore},
                       {"moved", Run.Added.Moved},
                       {"image_address", sio::Hex(Run.Added.ImageAddress, 8)},
                       {"te", Run.Added.Te},
                       {"relocations", Run.Added.Relocations}};
  Doc["module"] = Module;
  Doc["driver"] = Run.Driver ? Json{{"source", Run.Driver->Source},
                                    {"mode", ovmf::ProcessorName(Run.Driver->Mode)},
                                    {"file", pi::FormatGuid(Run.Driver->Added.Name)},
                                    {"volume_offset", Run.Driver->Added.FileOffset},
                                    {"volume_size", Run.Driver->VolumeSize},
                                    {"free_before", Run.Driver->Added.FreeBefore},
                                    {"free_after", Run.Driver->Added.FreeAfter}}
                             : Json(nullptr);
  Doc["qemu"] = {{"path", Run.Qemu}, {"chosen", Run.QemuChosen}};
  Doc["output"] = {{"path", Run.Output}, {"written", !Run.BootsHeld}, {"kept", Report.OutputKept}};
  Doc["vars"] = {{"copied", Run.Vars},
                 {"beside_the_code_image", Run.VarsChosen},
                 {"booted", Run.VarsBooted},
                 {"kept", Report.VarsKept}};
  Doc["temporary_folder"] =
      Report.TemporaryFolder.empty() ? Json(nullptr) : Json(Report.TemporaryFolder);
  Doc["setup"] = Run.SetupStored
                     ? Json{{"bytes", *Run.SetupStored},
                            {"attributes", pi::FormatVariableAttributes(Report.Attributes)},
                            {"read_back", Run.Shown ? Json(*Run.Shown == Run.Board.SetupVariable)
                                                    : Json(nullptr)},
                            {"not_read_back", Run.Shown ? Json(nullptr) : Json(Run.NotShown)}}
                     : Json(nullptr);
  if (!Run.Booted) {
    Doc["boot"] = Run.BootError.empty() ? Json(nullptr) : Json{{"error", Run.BootError}};
    return Doc;
  }
  const ovmf::QemuBoot& Boot = *Run.Booted;
  Doc["boot"] = {{"reached_shell", Boot.ReachedShell},
                 {"timed_out", Boot.TimedOut},
                 {"seconds", Boot.Seconds},
                 {"kernel", Run.KernelBooted},
                 {"line", BootLine(Run)}};
  Json Runs = Json::array();
  for (const auto& Trace : Run.Runs)
    Runs.push_back(AccessesToJson(ovmf::AsTheModuleWroteIt(Trace), Run.Module));
  Doc["runs"] = Runs;
  Doc["not_dispatched"] = Run.NotDispatched;
  Doc["same_as_model"] = Run.SameAsModel;
  Doc["model"] = ModelLines(Run);
  if (Run.Page) {
    const ovmf::SetupPageOutcome& P = *Run.Page;
    Doc["setup_page"] = {
        {"page", P.Page},
        {"failure", P.Failure.empty() ? Json(nullptr) : Json(P.Failure)},
        {"last_screen", P.Failure.empty() ? Json(nullptr) : Json(P.LastScreen)},
        {"chosen", Report.ChosenValues ? Json(P.Chosen) : Json(nullptr)},
        {"boots", P.Boots},
        {"reset", P.Reset},
        {"computed", Report.ChosenValues ? Json(*Report.ChosenValues) : Json(nullptr)},
        {"shown", Run.Shown ? Json(*Run.Shown) : Json(nullptr)},
        {"equal", Report.SetupAgrees()}};
  }
  Doc["passed"] = Report.Passed();
  return Doc;
}

} // namespace siotool
