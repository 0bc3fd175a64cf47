#include "tool/Engine.h"
#include "common/DataPaths.h"

#include "emulator/ImageEngine.h"
#include "engine/HostEngine.h"
#include "pe/ImageCheck.h"
#include "tool/FileInput.h"
#include "tool/InputError.h"

namespace siotool {

const char* EngineName(EngineKind Engine) {
  return Engine == EngineKind::Image ? "image" : "host";
}

std::string DefaultImagePath() {
  return sio::data::ImageFile();
}

EngineRun RunPass(EngineKind Engine, const board::Scenario& Config, const std::string& ImagePath) {
  EngineRun Run;
  Run.Engine = Engine;
  if (Engine == EngineKind::Host) {
    Run.Result = engine::RunHostPass(Config);
    return Run;
  }
  std::vector<uint8_t> Image;
  try {
    Image = ReadInputFile(ImagePath, kMaxImageFileSize);
  } catch (const InputError& Error) {
    throw InputError(std::string("--image: ") + Error.what());
  }
  // A file that is no usable module image is bad input, refused before a run
  // is reported; the loader validates the same way.
  if (auto Valid = pe::ValidatePe32Image(Image); !Valid)
    throw InputError("--image: " + ImagePath + ": " + Valid.Message());
  emulator::ImageRunReport Report = emulator::RunImagePass(Image, Config);
  Run.Result = std::move(Report.Result);
  Run.Completed = Report.Completed;
  Run.Fault = Report.Fault;
  Run.ImageSize = Image.size();
  Run.Instructions = Report.Instructions;
  Run.StackHighWater = Report.StackHighWater;
  // An image that never loaded has no load address worth showing.
  if (Report.LoadAddress != 0)
    Run.LoadAddress = Report.LoadAddress;
  return Run;
}

} // namespace siotool
