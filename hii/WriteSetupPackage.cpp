// SPDX-License-Identifier: BSD-2-Clause-Patent
// sio-write-setup-package OUT.h [OUT.vfr OUT.uni]: writes the header the
// setup driver includes, the chip's page (hii/SetupPage.h) encoded as its HII
// package list, and the formset's GUID for the driver's device path, as constant data; and, when
// named, the page's VFR and UNI text (the EDK2 package's copies).
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "hii/HiiEncoder.h"
#include "hii/SetupPage.h"
#include "hii/VfrText.h"

namespace {

std::string Byte(uint8_t Value) {
  char Text[8];
  std::snprintf(Text, sizeof Text, "0x%02X", Value);
  return Text;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: sio-write-setup-package OUT.h [OUT.vfr OUT.uni]\n");
    return 2;
  }
  const hii::SetupPage& Page = hii::ChipSetupPage();
  auto Encoded = hii::EncodePage(Page);
  if (!Encoded) {
    std::fprintf(stderr, "sio: error: hii/SetupPage.cpp: %s\n", Encoded.Message().c_str());
    return 1;
  }
  std::ostringstream Text;
  Text << "// Generated from the setup page (hii/SetupPage.cpp) by sio-write-setup-package.\n"
          "#pragma once\n\n#include \"platform/PiPei.h\"\n\n"
          "// The page's HII package list: the header, the form package, the English\n"
          "// string package and the end package ("
       << Encoded->PackageList.size() << " bytes).\n"
       << "alignas(4) inline constexpr UINT8 SioSetupPackageList[" << Encoded->PackageList.size()
       << "] = {";
  for (size_t I = 0; I < Encoded->PackageList.size(); ++I)
    Text << (I % 12 == 0 ? "\n    " : " ") << Byte(Encoded->PackageList[I]) << ",";
  Text << "\n};\n\n// The formset's GUID, which also names the package list and the driver's\n"
          "// vendor device path.\ninline constexpr EFI_GUID SioSetupFormSetGuid = "
       << hii::GuidInitializer(Page.FormSetGuid) << ";\n";

  auto Write = [](const char* Path, const std::string& Content) {
    std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
    Out << Content;
    if (!Out)
      std::fprintf(stderr, "sio: error: %s: cannot write\n", Path);
    return bool(Out);
  };
  if (!Write(argv[1], Text.str()))
    return 2;
  if (argc == 4 && (!Write(argv[2], hii::VfrText(Page)) || !Write(argv[3], hii::UniText(Page))))
    return 2;
  return 0;
}
