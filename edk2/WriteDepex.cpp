// SPDX-License-Identifier: BSD-2-Clause-Patent
// sio-edk2-depex: writes the module's raw dependency expression for one
// SIO_DEPEX choice, the PEI_DEPEX file the package's INF lists; or, for
// SETUP_DXE, the setup driver's DXE_DEPEX.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <string>

#include "packaging/SetupDriverFile.h"
#include "packaging/SioModuleFile.h"

int main(int argc, char** argv) {
  CLI::App App{"Write the module's dependency expression (.depex) for one SIO_DEPEX choice"};
  std::string ChoiceName;
  std::string OutPath;
  App.add_option("choice", ChoiceName, "VARIABLE_PPI, TRUE, FALSE or SETUP_DXE")->required();
  App.add_option("-o,--output", OutPath, "File to write")->required();
  try {
    App.parse(argc, argv);
  } catch (const CLI::ParseError& E) {
    return App.exit(E) == 0 ? 0 : 2;
  }

  auto Choice = packaging::ParseDepexChoice(ChoiceName);
  const bool SetupDxe = ChoiceName == "SETUP_DXE";
  if (!Choice && !SetupDxe) {
    std::fprintf(stderr, "sio: error: %s: not a dependency choice (VARIABLE_PPI, TRUE, FALSE)\n",
                 ChoiceName.c_str());
    return 2;
  }
  const auto Code =
      SetupDxe ? packaging::EncodeSetupDriverDepex() : packaging::EncodeDepex(*Choice);
  std::ofstream Out(OutPath, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Code.data()), static_cast<std::streamsize>(Code.size()));
  Out.close();
  if (!Out) {
    std::fprintf(stderr, "sio: error: %s: cannot write\n", OutPath.c_str());
    return 2;
  }
  return 0;
}
