// SPDX-License-Identifier: BSD-2-Clause-Patent
// sio-drop-dos-stub LINKED -o IMAGE: the module image without the DOS stub
// its linker wrote (pe/DosStub.h). Exit code 2 with one line on bad input.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "pe/DosStub.h"

int main(int argc, char** argv) {
  CLI::App App("Drop the DOS stub of a PE32 or PE32+ image laid out as in memory");
  std::string Input, Output;
  App.add_option("LINKED", Input, "The image as linked")->required();
  App.add_option("-o,--output", Output, "The image without its DOS stub")->required();
  CLI11_PARSE(App, argc, argv);

  std::ifstream In(Input, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "sio: error: %s: cannot open file\n", Input.c_str());
    return 2;
  }
  std::vector<uint8_t> Bytes{std::istreambuf_iterator<char>(In), {}};
  auto Result = pe::DropDosStub(Bytes);
  if (!Result) {
    std::fprintf(stderr, "sio: error: %s: %s\n", Input.c_str(), Result.Message().c_str());
    return 2;
  }
  std::ofstream Out(Output, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Result->Image.data()),
            static_cast<std::streamsize>(Result->Image.size()));
  if (!Out) {
    std::fprintf(stderr, "sio: error: %s: cannot write file\n", Output.c_str());
    return 2;
  }
  std::printf("%s: %zu bytes, DOS stub of %u bytes dropped\n", Output.c_str(), Result->Image.size(),
              Result->Moved);
  return 0;
}
