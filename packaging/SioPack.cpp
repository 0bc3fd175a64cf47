// `sio-pack`: wraps the module image into its PEIM firmware file, and firmware
// files into a minimal firmware volume.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "packaging/FfsFile.h"
#include "packaging/FirmwareVolume.h"
#include "packaging/SioModuleFile.h"
#include "packaging/TeImage.h"

namespace {

std::vector<uint8_t> ReadWhole(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    throw std::runtime_error("cannot read " + Path);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// Writes next to Path and renames, so a failed run never leaves a partial file
// under the output's name.
void WriteWhole(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  const std::string Temporary = Path + ".part";
  {
    std::ofstream Out(Temporary, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    if (!Out.flush())
      throw std::runtime_error("cannot write " + Temporary);
  }
  std::error_code Error;
  std::filesystem::rename(Temporary, Path, Error);
  if (Error)
    throw std::runtime_error("cannot rename " + Temporary + " to " + Path);
}

} // namespace

int main(int argc, char** argv) {
  CLI::App App{"Packs the F81216a bring-up module for a platform's flash"};
  App.require_subcommand(1);

  std::string ImagePath, FilePath, DepexName = "VARIABLE_PPI";
  auto* Ffs = App.add_subcommand("ffs", "Wrap the module image into its PEIM firmware file");
  Ffs->add_option("image", ImagePath, "PE32 module image (SioF81216aPei.efi)")->required();
  Ffs->add_option("-o,--output", FilePath, "Firmware file to write")->required();
  Ffs->add_option("--depex", DepexName,
                  "What the module waits for: VARIABLE_PPI (default), TRUE or FALSE")
      ->check([](const std::string& Name) {
        return packaging::ParseDepexChoice(Name) ? std::string()
                                                 : "expected VARIABLE_PPI, TRUE or FALSE";
      });

  bool Terse = false;
  Ffs->add_flag("--te", Terse, "Carry the image in its terse (TE) form, in a TE section");

  std::vector<std::string> InputFiles;
  std::string VolumePath;
  uint32_t BlockSize = 0x1000;
  auto* Fv = App.add_subcommand("fv", "Put firmware files into a minimal firmware volume");
  Fv->add_option("files", InputFiles, "Firmware files (.ffs)")->required();
  Fv->add_option("-o,--output", VolumePath, "Firmware volume to write")->required();
  Fv->add_option("--block-size", BlockSize, "Block size of the volume's block map")
      ->capture_default_str();

  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& Error) {
    return App.exit(Error) == 0 ? 0 : 2;
  }
  try {
    if (*Ffs) {
      const auto Image = ReadWhole(ImagePath);
      const auto Depex = *packaging::ParseDepexChoice(DepexName);
      const auto File = packaging::BuildSioModuleFile(
          Image, Depex, Terse ? packaging::ImageForm::Te : packaging::ImageForm::Pe32);
      WriteWhole(FilePath, File);
      std::printf("%s: PEIM %s, %zu bytes, depex %s", FilePath.c_str(),
                  std::string(packaging::kSioModuleFileGuid).c_str(), File.size(),
                  std::string(packaging::DepexChoiceName(Depex)).c_str());
      if (Terse) {
        std::printf(", TE image saves %u bytes",
                    static_cast<unsigned>(packaging::ConvertToTe(Image).StrippedSize -
                                          packaging::kTeHeaderSize));
      }
      std::printf("\n");
    } else {
      std::vector<std::vector<uint8_t>> Files;
      for (const auto& Path : InputFiles) {
        Files.push_back(ReadWhole(Path));
        try {
          packaging::ReadFfsFile(Files.back());
        } catch (const std::runtime_error& Error) {
          throw std::runtime_error(Path + " is not a sound firmware file: " + Error.what());
        }
      }
      packaging::VolumeOptions Options;
      Options.BlockSize = BlockSize;
      const auto Volume = packaging::BuildFirmwareVolume(Files, Options).Bytes;
      WriteWhole(VolumePath, Volume);
      std::printf("%s: firmware volume, %zu bytes, %zu file(s)\n", VolumePath.c_str(),
                  Volume.size(), Files.size());
    }
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "sio-pack: %s\n", Error.what());
    return 1;
  }
  return 0;
}
