// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/BuildPaths.h"
#include "tool/Engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "board/Scenario.h"
#include "pe/PeFile.h"
#include "pe/PeRebase.h"
#include "tool/InputError.h"
#include "tool/RunReport.h"

namespace siotool {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ShippedImage() {
  std::ifstream In(sio::build::kImageFile, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), {}};
}

std::string Save(const std::vector<uint8_t>& Bytes, const char* Name) {
  fs::path Dir = fs::path(sio::build::kTestWorkDir) / "moved_image";
  fs::create_directories(Dir);
  std::ofstream(Dir / Name, std::ios::binary)
      .write(reinterpret_cast<const char*>(Bytes.data()),
             static_cast<std::streamsize>(Bytes.size()));
  return (Dir / Name).string();
}

// The shipped image relinked where no flash lies (below the lowest image
// address) runs where the flash holds the module, and the report's first
// line says it was moved.
TEST(MovedImage, ImageLinkedWhereNoFlashLiesRunsAtTheFlashAddress) {
  for (uint32_t Link : {0x00000000u, 0x00001000u}) {
    SCOPED_TRACE(Link);
    auto Image = ShippedImage();
    ASSERT_TRUE(pe::RebasePe32(Image, Link).Ok());
    const auto Path = Save(Image, "relinked.efi");
    EngineRun Run = RunPass(EngineKind::Image, board::DefaultScenario(), Path);
    EXPECT_TRUE(Run.Completed) << Run.Fault;
    EXPECT_EQ(Run.LoadAddress, sio::build::kImageBase);
    EXPECT_EQ(Run.MovedFrom, Link);
    std::ostringstream Report;
    PrintRunReport(Report, MakeRunReport(Run, board::DefaultScenario()));
    const std::string First = Report.str().substr(0, Report.str().find('\n'));
    char Expected[96];
    std::snprintf(Expected, sizeof Expected,
                  "loaded at 0x%08X (moved there from its link address 0x%08X",
                  sio::build::kImageBase, Link);
    EXPECT_NE(First.find(Expected), std::string::npos) << First;
  }
}

// The X64 image linked where a 64-bit linker puts a DLL by default, above
// 4 GiB: moved to the flash address, and the report names the whole link
// address.
TEST(MovedImage, X64ImageLinkedAbove4GiBRunsAtTheFlashAddress) {
  std::ifstream In(sio::build::kX64ImageFile, std::ios::binary);
  std::vector<uint8_t> Image{std::istreambuf_iterator<char>(In), {}};
  const uint64_t Link = 0x180000000ull;
  ASSERT_TRUE(pe::RebasePe32(Image, Link).Ok());
  const auto Path = Save(Image, "relinked-x64.efi");
  EngineRun Run = RunPass(EngineKind::Image, board::DefaultScenario(), Path);
  EXPECT_TRUE(Run.Completed) << Run.Fault;
  EXPECT_EQ(Run.Mode, emulator::ProcessorMode::X64);
  EXPECT_EQ(Run.LoadAddress, sio::build::kImageBase);
  EXPECT_EQ(Run.MovedFrom, Link);
  std::ostringstream Report;
  PrintRunReport(Report, MakeRunReport(Run, board::DefaultScenario()));
  EXPECT_NE(Report.str().find("moved there from its link address 0x180000000 "), std::string::npos)
      << Report.str().substr(0, Report.str().find('\n'));
}

// An image that cannot be placed even at the flash address (here: too large
// for the space below 4 GiB) is refused in one line, never run.
TEST(MovedImage, ImageThatCannotBePlacedIsRefusedInOneLine) {
  auto Image = ShippedImage();
  ASSERT_TRUE(pe::RebasePe32(Image, 0).Ok());
  auto Pe = pe::ReadPeFile(Image);
  ASSERT_TRUE(Pe.Ok());
  // SizeOfImage, 28 bytes after ImageBase in the optional header: 2 MiB.
  const size_t SizeOfImage = Pe->ImageBaseOffset + 28;
  Image[SizeOfImage + 2] = 0x20;
  const auto Path = Save(Image, "unplaceable.efi");
  try {
    RunPass(EngineKind::Image, board::DefaultScenario(), Path);
    ADD_FAILURE() << "an image that cannot be placed was run";
  } catch (const InputError& Error) {
    const std::string Message = Error.what();
    EXPECT_NE(Message.find("unplaceable.efi: bad image: image at 0xFF"), std::string::npos)
        << Message;
    EXPECT_NE(Message.find(" bytes) does not fit between"), std::string::npos) << Message;
    EXPECT_EQ(Message.find('\n'), std::string::npos);
  }
}

} // namespace
} // namespace siotool
