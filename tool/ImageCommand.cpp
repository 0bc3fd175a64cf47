// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio image check FILE`: the checks the module image (IA-32 or X64) must pass before the
// PEI Foundation meets it, as a table; exit code 1 when one fails.
// `sio image config FILE`: its board values (PCDs), listed or set in a copy.
#include <cstdio>
#include <iostream>
#include <memory>

#include "common/BuildPaths.h"
#include "common/FileInput.h"
#include "common/Hex.h"
#include "common/InputError.h"
#include "common/JsonFields.h"
#include "pe/ImageCheck.h"
#include "tool/Commands.h"
#include "tool/Engine.h"
#include "tool/FileOutput.h"
#include "tool/ImageConfig.h"

using sio::Hex;

namespace siotool {
namespace {

struct CheckOptions {
  std::string File = DefaultImagePath();
  std::string FlashAddress = sio::build::kImageBaseText;
};

struct ConfigOptions {
  std::string File = DefaultImagePath();
  std::vector<std::string> Set;
  std::string Output;
  bool Json = false;
  bool Inf = false;
};

void ListConfig(std::span<const uint8_t> Image, const chip::ImageBoardRecord& Board,
                const std::string& Path, bool AsJson) {
  const uint32_t Record = Board.FileOffset;
  const chip::BoardConfig* Config = &Board.Config;
  if (AsJson) {
    siotool::Json Pcds = siotool::Json::array();
    for (const chip::PcdInfo& Pcd : chip::kPcds) {
      const uint32_t Offset = Record + Pcd.RecordOffset;
      Pcds.push_back({{"name", std::string(Pcd.Name)},
                      {"token_space", std::string(chip::kPcdTokenSpace)},
                      {"type", Pcd.Type == chip::PcdType::Uint16   ? "UINT16"
                               : Pcd.Type == chip::PcdType::Uint32 ? "UINT32"
                                                                   : "VOID*"},
                      {"offset", Offset},
                      {"size", Pcd.Size},
                      {"value", FormatPcdValue(Pcd, Image.subspan(Offset, Pcd.Size))}});
    }
    siotool::Json Doc = {{"image", Path}, {"pcds", Pcds}};
    std::string Problem = ConfigProblem(*Config);
    Doc["problem"] = Problem.empty() ? siotool::Json(nullptr) : siotool::Json(Problem);
    std::cout << Doc.dump(2) << "\n";
    return;
  }
  std::cout << "Image " << Path << ": board record at file offset " << Hex(Record, 4) << "\n";
  char Line[160];
  std::snprintf(Line, sizeof Line, "%-30s %-6s %-6s %4s  %s\n", "PCD", "type", "offset", "size",
                "value");
  std::cout << Line;
  for (const chip::PcdInfo& Pcd : chip::kPcds) {
    const uint32_t Offset = Record + Pcd.RecordOffset;
    std::snprintf(Line, sizeof Line, "%-30s %-6s %-6s %4u  ", std::string(Pcd.Name).c_str(),
                  Pcd.Type == chip::PcdType::Uint16   ? "UINT16"
                  : Pcd.Type == chip::PcdType::Uint32 ? "UINT32"
                                                      : "VOID*",
                  Hex(Offset, 4).c_str(), Pcd.Size);
    std::cout << Line << FormatPcdValue(Pcd, Image.subspan(Offset, Pcd.Size)) << "\n";
  }
  std::cout << "Token space: " << chip::kPcdTokenSpace << "\n";
  std::cout << "Probes, in order:";
  for (uint16_t P : Config->ProbeOrder())
    std::cout << " " << Hex(P, 4);
  std::cout << "\nScript (" << Config->Script().size() << " pairs"
            << (Config->ScriptHasEndPair() ? ", then the end pair" : ", no end pair") << "):";
  for (const chip::RegisterWrite& W : Config->Script())
    std::cout << " " << Hex(W.Reg, 2) << "=" << Hex(W.Value, 2);
  std::cout << "\n";
  std::string Problem = ConfigProblem(*Config);
  if (!Problem.empty())
    std::cout << "Not a configuration sio image config --set writes: " << Problem << "\n";
}

} // namespace

void AddImageCommands(CLI::App& App, int& ExitCode) {
  auto* Image = App.add_subcommand("image", "Look at the module image file");
  Image->require_subcommand(1);
  auto Options = std::make_shared<CheckOptions>();
  auto* Check = Image->add_subcommand(
      "check", "Check the image as the PEI Foundation will meet it; exit code 1 on a failed check");
  Check->add_option("FILE", Options->File, "Module image (IA-32 PE32 or X64 PE32+)")
      ->capture_default_str();
  Check
      ->add_option("--flash-address", Options->FlashAddress,
                   "Address the image must be linked to run in place at")
      ->capture_default_str();
  Check->callback([Options, &ExitCode] {
    auto Address =
        static_cast<uint32_t>(ParseUnsigned(Options->FlashAddress, "--flash-address", 0xFFFFFFFF));
    auto Bytes = sio::ReadInputFile(Options->File, kMaxImageFileSize);
    pe::ImageCheckReport Report = pe::CheckImage(Bytes, Address);
    Report.Path = Options->File;
    std::cout << pe::FormatImageCheck(Report);
    ExitCode = Report.Passed() ? 0 : 1;
  });

  auto Config = std::make_shared<ConfigOptions>();
  auto* ConfigCommand = Image->add_subcommand(
      "config", "List the image's board values (PCDs), or write a copy with some of them set");
  ConfigCommand->add_option("FILE", Config->File, "Module image (IA-32 PE32 or X64 PE32+)")
      ->capture_default_str();
  ConfigCommand->add_option("--set", Config->Set,
                            "NAME=VALUE as in a DSC: PcdSioF81216aConfigPort=0x2E, "
                            "PcdSioF81216aInitScript={0x07, 0x00, ...}");
  ConfigCommand->add_option("-o,--output", Config->Output, "The patched copy (with --set)");
  ConfigCommand->add_flag("--json", Config->Json, "List as one JSON document");
  ConfigCommand->add_flag("--inf", Config->Inf,
                          "Print the [PatchPcd.IA32] or [PatchPcd.X64] section (as the image's "
                          "machine) of the package's binary INF");
  ConfigCommand->callback([Config, &ExitCode] {
    if (!Config->Set.empty() && Config->Output.empty())
      throw InputError("--set: needs -o OUT, the patched copy");
    if (Config->Set.empty() && !Config->Output.empty())
      throw InputError("-o: nothing to set (--set NAME=VALUE)");
    auto Bytes = sio::ReadInputFile(Config->File, kMaxImageFileSize);
    if (auto Valid = pe::ValidatePe32Image(Bytes); !Valid)
      throw InputError(Config->File, Valid.Failure());
    if (!Config->Set.empty()) {
      std::vector<PcdAssignment> Assignments;
      for (const std::string& Text : Config->Set)
        Assignments.push_back(ParseAssignment(Text));
      std::vector<uint8_t> Patched = PatchImage(Bytes, Assignments, Config->File);
      WriteOutputFile(Config->Output, Patched, "module image");
      std::cout << "Wrote " << Config->Output << ": " << Assignments.size() << " PCD"
                << (Assignments.size() == 1 ? "" : "s") << " set\n";
      ExitCode = 0;
      return;
    }
    if (Config->Inf) {
      std::cout << PatchPcdSection(Bytes, Config->File);
      ExitCode = 0;
      return;
    }
    auto Record = chip::ReadBoardRecord(Bytes);
    if (!Record)
      throw InputError(Config->File, Record.Failure());
    ListConfig(Bytes, *Record, Config->File, Config->Json);
    ExitCode = 0;
  });
}

} // namespace siotool
