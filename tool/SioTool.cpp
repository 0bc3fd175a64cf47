// `sio`: runs the module on the simulated board and shows what it did.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "board/Status.h"
#include "emulator/ImageEngine.h"
#include "engine/HostEngine.h"
#include "pe/ImageFile.h"

namespace {

void PrintResult(const board::PassResult& R) {
  std::puts("Trace:");
  for (const auto& E : R.Events) std::printf("  %s\n", board::FormatEvent(E).c_str());
  if (R.Chip) {
    std::printf("Chip at 0x%04X, %s configuration mode\n", R.Chip->IndexPort,
                R.Chip->InConfigMode ? "in" : "out of");
    for (const auto& [Device, Regs] : R.Chip->Devices) {
      std::printf("  LD%u: 0x30=0x%02X 0x60=0x%02X 0x61=0x%02X 0x70=0x%02X 0xF0=0x%02X 0xF1=0x%02X\n",
                  Device, Regs[0x30], Regs[0x60], Regs[0x61], Regs[0x70], Regs[0xF0], Regs[0xF1]);
    }
  } else {
    std::puts("No chip on the board");
  }
  for (const auto& Ppi : R.Ppis) std::printf("Installed PPI %s\n", board::FormatGuid(Ppi.Guid).c_str());
  std::printf("Status: %s\n", board::StatusName(R.Status).c_str());
}

} // namespace

int main(int argc, char** argv) {
  CLI::App App{"Runs the F81216a bring-up module on a simulated board"};
  App.require_subcommand(1);
  auto* Run = App.add_subcommand("run", "Run one pass on the board's default scenario");
  std::string Engine = "host";
  std::string ImagePath = SIO_IMAGE_FILE;
  Run->add_option("--engine", Engine, "host: the host build; image: the image in the emulator")
      ->check(CLI::IsMember({"host", "image"}));
  Run->add_option("--image", ImagePath, "The module image the image engine runs");
  Run->callback([&] {
    if (Engine == "host") return PrintResult(engine::RunHostPass(board::DefaultScenario()));
    auto Image = pe::ReadFileBytes(ImagePath);
    if (!Image) {
      std::fprintf(stderr, "sio: cannot read %s\n", ImagePath.c_str());
      throw CLI::RuntimeError(1);
    }
    auto Report = emulator::RunImagePass(*Image, board::DefaultScenario());
    PrintResult(Report.Result);
    std::fputs(emulator::FormatImageFigures(Report, Image->size()).c_str(), stdout);
    if (!Report.Completed) throw CLI::RuntimeError(1);
  });
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& Error) {
    return App.exit(Error) == 0 ? 0 : 2;
  }
  return 0;
}
