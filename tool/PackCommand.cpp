// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio pack`: wraps the module image into its PEIM firmware file, and
// firmware files into a minimal firmware volume; what the build ships in
// build/default/image/.
#include <algorithm>
#include <iostream>
#include <memory>

#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "packaging/SetupDriverFile.h"
#include "packaging/SioModuleFile.h"
#include "pe/TeImage.h"
#include "pi/FirmwareVolume.h"
#include "tool/CommandReports.h"
#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/OptionRules.h"
#include "tool/Report.h"

namespace siotool {
namespace {

constexpr size_t kMaxPackedFile = 16 << 20; // images and files of a PEI volume are far smaller

struct PackOptions {
  std::string Image, Output, Depex = "VARIABLE_PPI";
  bool Terse = false;
  std::vector<std::string> Files;
  uint32_t BlockSize = 0x1000;
  bool Json = false;
};

PackReport PackFile(const PackOptions& O) {
  const auto Image = Need(sio::ReadInputFile(O.Image, kMaxPackedFile));
  const auto Depex = *packaging::ParseDepexChoice(O.Depex);
  auto File = packaging::BuildSioModuleFile(
      Image, Depex, O.Terse ? packaging::ImageForm::Te : packaging::ImageForm::Pe32);
  if (!File)
    throw InputError(O.Image, File.Failure());
  Need(sio::WriteOutputFile(O.Output, *File, "firmware file"));
  PackReport Report{O.Output,
                    "PEIM",
                    std::string(packaging::kSioModuleFileGuid),
                    File->size(),
                    std::string(packaging::DepexChoiceName(Depex)),
                    {},
                    {}};
  if (O.Terse) {
    // BuildSioModuleFile converted the same bytes, so this conversion succeeds.
    const auto Te = pe::ConvertToTe(Image);
    Report.TeSaves = static_cast<uint32_t>(Te ? Te->StrippedSize - pi::kTeHeaderSize : 0);
  }
  return Report;
}

PackReport PackDriver(const PackOptions& O) {
  const auto Image = Need(sio::ReadInputFile(O.Image, kMaxPackedFile));
  auto File = packaging::BuildSetupDriverFile(Image);
  if (!File)
    throw InputError(O.Image, File.Failure());
  Need(sio::WriteOutputFile(O.Output, *File, "firmware file"));
  return {
      O.Output, "DXE driver", std::string(packaging::kSetupDriverFileGuid), File->size(), {}, {},
      {}};
}

PackReport PackVolume(const PackOptions& O) {
  if (auto Block = pi::CheckBlockSize(O.BlockSize); !Block)
    throw InputError("--block-size", Block.Failure());
  std::vector<std::vector<uint8_t>> Files;
  // Together the files fit the largest volume, or no volume holds them.
  size_t Room = pi::kMaxBuiltVolumeSize;
  for (const auto& Path : O.Files) {
    Files.push_back(Need(sio::ReadInputFile(Path, std::min(kMaxPackedFile, Room))));
    Room -= Files.back().size();
    if (auto Read = pi::ReadFfsFile(Files.back()); !Read)
      throw InputError(Path + ": not a sound firmware file: " + Read.Message());
  }
  pi::VolumeOptions Options;
  Options.BlockSize = O.BlockSize;
  Options.FileNames = O.Files;
  auto Volume = pi::BuildFirmwareVolume(Files, Options);
  if (!Volume)
    throw InputError(Volume.Message(), Volume.Failure().Kind);
  Need(sio::WriteOutputFile(O.Output, Volume->Bytes, "firmware volume"));
  return {O.Output, "firmware volume", {}, Volume->Bytes.size(), {}, {}, Files.size()};
}

} // namespace

void AddPackCommand(CLI::App& App, int& ExitCode) {
  auto O = std::make_shared<PackOptions>();
  auto* Pack = App.add_subcommand("pack", "Pack the module for a platform's flash");
  Pack->require_subcommand(1);

  auto* Ffs = Pack->add_subcommand("ffs", "Wrap the module image into its PEIM firmware file");
  Ffs->add_option("image", O->Image, "PE32 module image (SioF81216aPei.efi)")->required();
  Ffs->add_option("-o,--output", O->Output, "Firmware file to write")->required();
  Ffs->add_option("--depex", O->Depex,
                  "What the module waits for: VARIABLE_PPI (default), TRUE or FALSE")
      ->check([](const std::string& Name) {
        return packaging::ParseDepexChoice(Name) ? std::string()
                                                 : "expected VARIABLE_PPI, TRUE or FALSE";
      });
  Ffs->add_flag("--te", O->Terse, "Carry the image in its terse (TE) form, in a TE section");
  Ffs->add_flag("--json", O->Json, "Print the report as one JSON document");
  Ffs->callback([O, &ExitCode] {
    PrintReport(std::cout, PackFile(*O), O->Json);
    ExitCode = 0;
  });

  auto* Dxe = Pack->add_subcommand("dxe", "Wrap the setup driver image into its DXE driver file");
  Dxe->add_option("image", O->Image, "Setup driver image (SioF81216aSetupDxe.efi)")->required();
  Dxe->add_option("-o,--output", O->Output, "Firmware file to write")->required();
  Dxe->add_flag("--json", O->Json, "Print the report as one JSON document");
  Dxe->callback([O, &ExitCode] {
    PrintReport(std::cout, PackDriver(*O), O->Json);
    ExitCode = 0;
  });

  auto* Fv = Pack->add_subcommand("fv", "Put firmware files into a minimal firmware volume");
  Fv->add_option("files", O->Files, "Firmware files (.ffs)")->required();
  Fv->add_option("-o,--output", O->Output, "Firmware volume to write")->required();
  Fv->add_option("--block-size", O->BlockSize, "Block size of the volume's block map")
      ->transform(DecimalOrHex(0, UINT32_MAX))
      ->capture_default_str();
  Fv->add_flag("--json", O->Json, "Print the report as one JSON document");
  Fv->callback([O, &ExitCode] {
    PrintReport(std::cout, PackVolume(*O), O->Json);
    ExitCode = 0;
  });
}

} // namespace siotool
