// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio image check FILE`: the checks the module image (IA-32 or X64) must pass before the
// PEI Foundation meets it, as a table; exit code 1 when one fails.
// `sio image config FILE`: its board values (PCDs), listed or set in a copy.
// `sio image extract FIRMWARE -o FILE`: the module's image out of a firmware.
// Check and config take a firmware volume or flash image as well: the module's
// image is found there by its file name, judged where the firmware placed it,
// and its dispatch foreseen.
#include <cstdio>
#include <iostream>
#include <memory>

#include "common/BuildPaths.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "pe/ImageCheck.h"
#include "pe/TeImage.h"
#include "pi/Depex.h"
#include "tool/CommandReports.h"
#include "tool/Commands.h"
#include "tool/Engine.h"
#include "tool/FirmwareInput.h"
#include "tool/ImageConfig.h"
#include "tool/InputError.h"
#include "tool/Report.h"

using sio::Hex;

namespace siotool {
namespace {

struct CheckOptions {
  std::string File = DefaultImagePath();
  std::string FlashAddress = sio::build::kImageBaseText;
};

struct ExtractOptions {
  std::string File;
  std::string Output;
  bool Json = false;
};

struct ConfigOptions {
  std::string File = DefaultImagePath();
  std::vector<std::string> Set;
  std::string Output;
  bool Json = false;
  bool Inf = false;
};

ImageConfigList ListConfig(std::span<const uint8_t> Image, const chip::ImageBoardRecord& Board,
                           const std::string& Path) {
  ImageConfigList List;
  List.Image = Path;
  List.RecordOffset = Board.FileOffset;
  List.TokenSpace = std::string(chip::kPcdTokenSpace);
  for (const chip::PcdInfo& Pcd : chip::kPcds) {
    const uint32_t Offset = Board.FileOffset + Pcd.RecordOffset;
    List.Pcds.push_back({std::string(Pcd.Name),
                         Pcd.Type == chip::PcdType::Uint16   ? "UINT16"
                         : Pcd.Type == chip::PcdType::Uint32 ? "UINT32"
                                                             : "VOID*",
                         Offset, Pcd.Size, FormatPcdValue(Pcd, Image.subspan(Offset, Pcd.Size))});
  }
  const chip::BoardValues& Config = Board.Config;
  const auto Probes = Config.ProbeOrder();
  List.Probes.assign(Probes.begin(), Probes.end());
  const auto Script = Config.Script();
  List.Script.assign(Script.begin(), Script.end());
  List.ScriptHasEndPair = Config.ScriptHasEndPair();
  List.Problem = ConfigProblem(Config);
  return List;
}

// A module image alone. Linked at another address than this build's flash
// address, and no address asked for: an image a firmware build rebased (taken
// out of its flash), whose base passes when every relocated address moved
// with it.
pe::ImageCheckReport CheckModuleImage(std::span<const uint8_t> Image, uint32_t Address,
                                      bool AddressGiven) {
  pe::ImageCheckReport Report = pe::CheckImage(Image, Address);
  auto Pe = pe::ReadPeFile(Image);
  if (AddressGiven || !Pe || Pe->ImageBase == Address)
    return Report;
  for (pe::CheckOutcome& C : Report.Checks) {
    if (C.Name != "image base")
      continue;
    const auto Stray = pe::StrayRelocatedAddress(Image);
    C.Passed = !Stray && Pe->ImageBase + Pe->SizeOfImage <= 0x100000000ull;
    C.Message = Stray ? "linked at " + Hex(Pe->ImageBase, 8) + ": " + *Stray
                : !C.Passed
                    ? "linked at " + Hex(Pe->ImageBase, 8) + ", reaching past 4 GiB"
                    : "linked at " + Hex(Pe->ImageBase, 8) + ", rebased from " + Hex(Address, 8) +
                          " as a whole (every relocated address points into it): runs in place "
                          "there, where a firmware build placed it";
  }
  return Report;
}

// The module's image in a firmware, checked where it lies: the image's own
// checks but the flash address, then where it runs in place, its dependency
// and whether that firmware's PEI Foundation dispatches it.
pe::ImageCheckReport CheckFoundImage(const ModuleInput& In) {
  const ovmf::FirmwareModule& Found = *In.Found;
  pe::ImageCheckReport Report;
  if (Found.Te) {
    Report.FileSize = In.Image.size();
    auto Te = pe::ValidateTeImage(In.Image);
    Report.Checks.push_back({"TE image", Te.Ok(),
                             Te ? "a valid module image in terse form, " +
                                      std::to_string(Te->Relocations) + " relocations"
                                : Te.Message()});
  } else {
    Report = pe::CheckImage(In.Image, std::nullopt);
  }
  const ovmf::InPlace Placed = ovmf::JudgeInPlace(Found);
  Report.Checks.push_back({"in place", Placed.Passed, Placed.Message});
  Report.Checks.push_back({"dependency", true, ovmf::DescribeDependency(Found.Depex)});
  const auto Never = ovmf::NeverDispatched(Found);
  Report.Checks.push_back(
      {"dispatch", !Never,
       Never ? "not dispatched: see below"
             : std::string(Found.Depex && !pi::DepexPpis(*Found.Depex).empty()
                               ? "a PEIM of its volume installs every PPI it names"
                               : "it waits for no PPI") +
                   ", in the PEI volume"});
  return Report;
}

} // namespace

void AddImageCommands(CLI::App& App, int& ExitCode) {
  auto* Image = App.add_subcommand("image", "Look at the module image file");
  Image->require_subcommand(1);
  auto Options = std::make_shared<CheckOptions>();
  auto CheckJson = std::make_shared<bool>(false);
  auto* Check = Image->add_subcommand(
      "check", "Check the image as the PEI Foundation will meet it; exit code 1 on a failed check");
  Check
      ->add_option("FILE", Options->File,
                   "Module image (IA-32 PE32 or X64 PE32+), or a firmware volume or flash image "
                   "(.fv, .fd) holding the module")
      ->capture_default_str();
  auto* FlashAddress = Check
                           ->add_option("--flash-address", Options->FlashAddress,
                                        "Address the image must be linked to run in place at")
                           ->capture_default_str();
  Check->add_flag("--json", *CheckJson, "Print the report as one JSON document");
  Check->callback([Options, FlashAddress, CheckJson, &ExitCode] {
    auto Address = static_cast<uint32_t>(
        Need(ParseUnsigned(Options->FlashAddress, "--flash-address", 0xFFFFFFFF)));
    const ModuleInput In = ReadModuleInput(Options->File, kMaxImageFileSize);
    if (In.Found && FlashAddress->count() != 0)
      throw InputError("--flash-address: " + Options->File +
                       " is a firmware, which places the image itself (drop the option)");
    ImageCheckResult Report;
    Report.Image = In.Found ? CheckFoundImage(In)
                            : CheckModuleImage(In.Image, Address, FlashAddress->count() != 0);
    Report.Image.Path = In.Found ? Options->File + ", " + FoundWhere(*In.Found) : Options->File;
    if (In.Found) {
      Report.Module = pi::FormatGuid(In.Found->Name);
      Report.NeverDispatched = ovmf::NeverDispatched(*In.Found);
    }
    PrintReport(std::cout, Report, *CheckJson);
    ExitCode = Report.Image.Passed() ? 0 : 1;
  });

  auto Config = std::make_shared<ConfigOptions>();
  auto* ConfigCommand = Image->add_subcommand(
      "config", "List the image's board values (PCDs), or write a copy with some of them set");
  ConfigCommand
      ->add_option("FILE", Config->File,
                   "Module image (IA-32 PE32 or X64 PE32+), or a firmware holding the module "
                   "(listing only)")
      ->capture_default_str();
  ConfigCommand->add_option("--set", Config->Set,
                            "NAME=VALUE as in a DSC: PcdSioF81216aConfigPort=0x2E, "
                            "PcdSioF81216aInitScript={0x07, 0x00, ...}");
  ConfigCommand->add_option("-o,--output", Config->Output, "The patched copy (with --set)");
  ConfigCommand->add_flag("--json", Config->Json, "Print the report as one JSON document");
  ConfigCommand->add_flag("--inf", Config->Inf,
                          "Print the [PatchPcd.IA32] or [PatchPcd.X64] section (as the image's "
                          "machine) of the package's binary INF");
  ConfigCommand->callback([Config, &ExitCode] {
    if (!Config->Set.empty() && Config->Output.empty())
      throw InputError("--set: needs -o OUT, the patched copy");
    if (Config->Set.empty() && !Config->Output.empty())
      throw InputError("-o: nothing to set (--set NAME=VALUE)");
    const ModuleInput In = ReadModuleInput(Config->File, kMaxImageFileSize);
    if (In.Found && !Config->Set.empty())
      throw InputError("--set: " + Config->File +
                       " is a firmware; set the values in the module image before it is built "
                       "in (or take it out with `sio image extract`)");
    if (In.Found && In.Found->Te)
      throw InputError(Config->File + ": the module lies in it as a TE image (" +
                           FoundWhere(*In.Found) + "); its values are listed from a PE32 image",
                       sio::ErrorKind::Refused);
    const std::vector<uint8_t>& Bytes = In.Image;
    if (auto Valid = pe::ValidatePe32Image(Bytes); !Valid)
      throw InputError(Config->File, Valid.Failure());
    if (!Config->Set.empty()) {
      std::vector<PcdAssignment> Assignments;
      for (const std::string& Text : Config->Set)
        Assignments.push_back(ParseAssignment(Text));
      std::vector<uint8_t> Patched = PatchImage(Bytes, Assignments, Config->File);
      Need(sio::WriteOutputFile(Config->Output, Patched, "module image"));
      PrintReport(std::cout, ImageConfigWritten{Config->Output, Assignments.size()}, Config->Json);
      ExitCode = 0;
      return;
    }
    if (Config->Inf) {
      PrintReport(std::cout, ImageConfigInf{PatchPcdSection(Bytes, Config->File)}, Config->Json);
      ExitCode = 0;
      return;
    }
    auto Record = chip::ReadBoardRecord(Bytes);
    if (!Record)
      throw InputError(Config->File, Record.Failure());
    PrintReport(std::cout,
                ListConfig(Bytes, *Record,
                           In.Found ? Config->File + ", " + FoundWhere(*In.Found) : Config->File),
                Config->Json);
    ExitCode = 0;
  });

  auto Extract = std::make_shared<ExtractOptions>();
  auto* ExtractCommand = Image->add_subcommand(
      "extract", "Write the module's image out of a firmware volume or flash image");
  ExtractCommand->add_option("FIRMWARE", Extract->File, "Firmware volume or flash image (.fv, .fd)")
      ->required();
  ExtractCommand->add_option("-o,--output", Extract->Output, "The module's image, as it lies there")
      ->required();
  ExtractCommand->add_flag("--json", Extract->Json, "Print the report as one JSON document");
  ExtractCommand->callback([Extract, &ExitCode] {
    const ModuleInput In = ReadModuleInput(Extract->File, kMaxImageFileSize);
    if (!In.Found)
      throw InputError(Extract->File + ": not a firmware volume or flash image (no volume "
                                       "header in it); a module image is used as it is");
    Need(sio::WriteOutputFile(Extract->Output, In.Image, "module image"));
    PrintReport(
        std::cout,
        ImageExtracted{Extract->Output, FoundWhere(*In.Found), In.Image.size(), In.Found->Base},
        Extract->Json);
    ExitCode = 0;
  });
}

} // namespace siotool
