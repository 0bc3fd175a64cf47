#include "tool/Engine.h"

#include "engine/HostEngine.h"
#include "tool/FileInput.h"
#include "tool/InputError.h"
#ifdef SIO_HAVE_IMAGE_ENGINE
#include "emulator/ImageEngine.h"
#endif

namespace siotool {

const char* EngineName(EngineKind Engine) {
  return Engine == EngineKind::Image ? "image" : "host";
}

bool ImageEngineAvailable() {
#ifdef SIO_HAVE_IMAGE_ENGINE
  return true;
#else
  return false;
#endif
}

EngineKind DefaultEngine() {
  return ImageEngineAvailable() ? EngineKind::Image : EngineKind::Host;
}

std::string DefaultImagePath() {
#ifdef SIO_IMAGE_PATH
  return SIO_IMAGE_PATH;
#else
  return {};
#endif
}

EngineRun RunPass(EngineKind Engine, const board::Scenario& Config, const std::string& ImagePath) {
  EngineRun Run;
  Run.Engine = Engine;
  if (Engine == EngineKind::Host) {
    Run.Result = engine::RunHostPass(Config);
    return Run;
  }
#ifdef SIO_HAVE_IMAGE_ENGINE
  std::vector<uint8_t> Image;
  try {
    Image = ReadInputFile(ImagePath, kMaxImageFileSize);
  } catch (const InputError& Error) {
    throw InputError(std::string("--image: ") + Error.what());
  }
  emulator::ImageRunReport Report = emulator::RunImagePass(Image, Config);
  Run.Result = std::move(Report.Result);
  Run.Completed = Report.Completed;
  Run.Fault = Report.Fault;
  Run.Instructions = Report.Instructions;
  Run.StackHighWater = Report.StackHighWater;
  // An image that never loaded has no load address worth showing.
  if (Report.LoadAddress != 0)
    Run.LoadAddress = Report.LoadAddress;
  return Run;
#else
  (void)ImagePath;
  throw InputError("--engine image: this build of sio has no CPU emulator; use --engine host");
#endif
}

} // namespace siotool
