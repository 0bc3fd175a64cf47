// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/Engine.h"
#include "common/BuildPaths.h"
#include "common/DataPaths.h"

#include "common/FileInput.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "emulator/ImageEngine.h"
#include "emulator/PeLoader.h"
#include "engine/HostBoardValues.h"
#include "engine/HostEngine.h"
#include "pe/ImageCheck.h"
#include "tool/FirmwareInput.h"
#include "tool/InputError.h"

using sio::Hex;

namespace siotool {

const char* EngineName(EngineKind Engine) {
  return Engine == EngineKind::Image ? "image" : "host";
}

std::string DefaultImagePath() {
  return sio::data::ImageFile();
}

namespace {

struct ModuleImage {
  std::vector<uint8_t> Bytes;
  pe::PeFile Valid;
  chip::BoardValues Config;
};

ModuleImage ReadModuleImage(const std::string& ImagePath) {
  if (ImagePath.empty())
    throw InputError("--image: empty file name");
  ModuleImage Out;
  // A firmware given in the image's place: the module's image as it lies
  // there, run at the address the firmware placed it at.
  try {
    ModuleInput In = ReadModuleInput(ImagePath, kMaxImageFileSize);
    if (In.Found && In.Found->Te)
      throw InputError(ImagePath + ": the module lies in it as a TE image (" +
                           FoundWhere(*In.Found) +
                           "), and the emulator loads PE32 and PE32+ images only; run a PE32 "
                           "copy of the module (`sio image extract` writes the TE image out)",
                       sio::ErrorKind::Refused);
    Out.Bytes = std::move(In.Image);
  } catch (const InputError& Error) {
    throw InputError(std::string("--image: ") + Error.what(), Error.Kind);
  }
  // A file that is no usable module image is bad input, refused before a run
  // is reported; the loader validates the same way.
  auto Valid = pe::ValidatePe32Image(Out.Bytes);
  if (!Valid)
    throw InputError("--image: " + ImagePath, Valid.Failure());
  Out.Valid = std::move(*Valid);
  auto BoardValues = chip::ReadBoardValues(Out.Bytes);
  if (!BoardValues)
    throw InputError("--image: " + ImagePath, BoardValues.Failure());
  Out.Config = *BoardValues;
  return Out;
}

} // namespace

chip::BoardValues ReadImageBoardValues(const std::string& Path) {
  return ReadModuleImage(Path).Config;
}

EngineRun RunPass(EngineKind Engine, const board::Scenario& Config, const std::string& ImagePath) {
  EngineRun Run;
  Run.Engine = Engine;
  // The host build alone, with no image to follow: the built-in values.
  if (Engine == EngineKind::Host && ImagePath.empty()) {
    Run.Result = engine::RunHostPass(Config);
    return Run;
  }
  ModuleImage Module = ReadModuleImage(ImagePath);
  const std::vector<uint8_t>& Image = Module.Bytes;
  const pe::PeFile& Valid = Module.Valid;
  Run.Config = Module.Config;
  if (Engine == EngineKind::Host) {
    const SioBoardConfig Record = Run.Config.Record();
    engine::ScopedBoardValues Scoped(Record);
    Run.Result = engine::RunHostPass(Config);
    return Run;
  }
  // A PEI Foundation runs a module where the flash holds it: one linked
  // where no flash lies is moved to the module's flash address, as a
  // firmware build places it.
  emulator::ImageRunOptions Options;
  const auto LinkAddress = static_cast<uint32_t>(Valid.ImageBase);
  if (Valid.ImageBase > 0xFFFFFFFF ||
      !emulator::CheckPlacement(LinkAddress, Valid.SizeOfImage, Valid.SectionAlignment)) {
    if (!Valid.HasRelocations()) {
      throw InputError("--image: " + ImagePath + ": linked at " + Hex(Valid.ImageBase, 8) +
                       ", where no flash lies, and it has no relocations to move it to " +
                       Hex(sio::build::kImageBase, 8));
    }
    Options.LoadAddress = sio::build::kImageBase;
    Run.MovedFrom = Valid.ImageBase;
  }
  // An image that cannot be loaded is refused here, never reported as a run.
  if (auto Loaded = emulator::LoadPeImage(Image, Options.LoadAddress); !Loaded)
    throw InputError("--image: " + ImagePath, Loaded.Failure());
  emulator::ImageRunReport Report = emulator::RunImagePass(Image, Config, Options);
  Run.Result = std::move(Report.Result);
  Run.Completed = Report.Completed;
  Run.Fault = Report.Fault;
  Run.ImageSize = Image.size();
  Run.Mode = Report.Mode;
  Run.Instructions = Report.Instructions;
  Run.StackHighWater = Report.StackHighWater;
  // An image that never loaded has no load address worth showing.
  if (Report.LoadAddress != 0)
    Run.LoadAddress = Report.LoadAddress;
  return Run;
}

} // namespace siotool
