// `sio image check FILE`: the checks the module image must pass before the
// PEI Foundation meets it, as a table; exit code 1 when one fails.
#include <cstdio>
#include <iostream>
#include <memory>

#include "common/BuildPaths.h"
#include "pe/ImageCheck.h"
#include "tool/Commands.h"
#include "tool/Engine.h"
#include "tool/FileInput.h"
#include "tool/JsonFields.h"

namespace siotool {
namespace {

struct CheckOptions {
  std::string File = DefaultImagePath();
  std::string FlashAddress = sio::build::kImageBaseText;
};

void PrintTable(const pe::ImageCheckReport& Report) {
  char Line[256];
  std::cout << "Image " << Report.Path << ": " << Report.FileSize << " bytes, "
            << Report.SizeOfImage << " bytes in memory\n";
  std::snprintf(Line, sizeof Line, "  %-20s %-6s %s\n", "check", "result", "found");
  std::cout << Line;
  for (const auto& Check : Report.Checks) {
    std::snprintf(Line, sizeof Line, "  %-20s %-6s %s\n", Check.Name.c_str(),
                  Check.Passed ? "pass" : "FAIL", Check.Message.c_str());
    std::cout << Line;
  }
  if (!Report.Sections.empty()) {
    std::snprintf(Line, sizeof Line, "  %-8s %-10s %-10s %-10s %s\n", "section", "address", "size",
                  "file size", "access");
    std::cout << Line;
  }
  for (const auto& S : Report.Sections) {
    std::snprintf(Line, sizeof Line, "  %-8s 0x%08X 0x%08X 0x%08X %s\n", S.Name.c_str(),
                  S.VirtualAddress, S.VirtualSize, S.RawSize, S.Flags.c_str());
    std::cout << Line;
  }
  std::cout << (Report.Passed() ? "Image check passed\n" : "Image check FAILED\n");
}

} // namespace

void AddImageCommands(CLI::App& App, int& ExitCode) {
  auto* Image = App.add_subcommand("image", "Look at the module image file");
  Image->require_subcommand(1);
  auto Options = std::make_shared<CheckOptions>();
  auto* Check = Image->add_subcommand(
      "check", "Check the image as the PEI Foundation will meet it; exit code 1 on a failed check");
  Check->add_option("FILE", Options->File, "Module image (PE32)")->capture_default_str();
  Check
      ->add_option("--flash-address", Options->FlashAddress,
                   "Address the image must be linked to run in place at")
      ->capture_default_str();
  Check->callback([Options, &ExitCode] {
    auto Address =
        static_cast<uint32_t>(ParseUnsigned(Options->FlashAddress, "--flash-address", 0xFFFFFFFF));
    auto Bytes = ReadInputFile(Options->File, kMaxImageFileSize);
    pe::ImageCheckReport Report = pe::CheckImage(Bytes, Address);
    Report.Path = Options->File;
    PrintTable(Report);
    ExitCode = Report.Passed() ? 0 : 1;
  });
}

} // namespace siotool
