// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/DataPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/BuildPaths.h"

namespace {

namespace fs = std::filesystem;

// A program found in each kind of folder: only one beside an installed data
// folder counts as installed, wherever that prefix is.
TEST(DataPathsTest, InstalledOnlyBesideTheDataFolder) {
  const fs::path Work = fs::path(sio::build::kTestWorkDir) / "data-paths";
  fs::remove_all(Work);
  const fs::path Data =
      (Work / "prefix/bin" / sio::build::kInstalledDataFromBin).lexically_normal();
  fs::create_directories(Work / "prefix/bin");
  fs::create_directories(Data);
  fs::create_directories(Work / "bare/bin");
  fs::create_directories(Work / "file/bin");
  fs::create_directories(Work / "file/share");
  std::ofstream(Work / "file/bin" / sio::build::kInstalledDataFromBin) << "not a folder";

  struct Case {
    fs::path Executable;
    std::optional<fs::path> Expected;
  };
  const Case Cases[] = {
      {Work / "prefix/bin/sio", Data},
      {Work / "prefix/bin/../bin/sio", Data},
      {Work / "bare/bin/sio", std::nullopt},
      {Work / "file/bin/sio", std::nullopt},
      {"sio", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(sio::data::InstalledDataDir(C.Executable), C.Expected) << C.Executable;
}

// This test runs from the build tree: every default is the build's file.
TEST(DataPathsTest, BuildTreeProgramReadsTheBuildsFiles) {
  EXPECT_EQ(sio::data::ImageFile(), sio::build::kImageFile);
  EXPECT_EQ(sio::data::ModuleFile(), sio::build::kModuleFile);
  EXPECT_EQ(sio::data::Edk2PackageDir(), sio::build::kEdk2PackageDir);
  EXPECT_EQ(sio::data::ScenarioDir(), sio::build::kScenarioDir);
  EXPECT_TRUE(fs::exists(sio::data::ScenarioDir() + "/default.json"));
}

} // namespace
