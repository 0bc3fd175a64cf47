// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/DataPaths.h"

#include "common/BuildPaths.h"

namespace sio::data {
namespace {

namespace fs = std::filesystem;

const std::optional<fs::path>& RunningDataDir() {
  static const std::optional<fs::path> Dir = [] {
    std::error_code Error;
    fs::path Executable = fs::read_symlink("/proc/self/exe", Error);
    return Error ? std::nullopt : InstalledDataDir(Executable);
  }();
  return Dir;
}

// The installed file when the program was installed, the build's otherwise.
std::string Pick(const char* Installed, const char* Built) {
  if (const auto& Dir = RunningDataDir())
    return (*Dir / Installed).string();
  return Built;
}

} // namespace

std::optional<fs::path> InstalledDataDir(const fs::path& Executable) {
  if (!Executable.has_parent_path())
    return std::nullopt;
  fs::path Dir = (Executable.parent_path() / sio::build::kInstalledDataFromBin).lexically_normal();
  std::error_code Error;
  if (!fs::is_directory(Dir, Error))
    return std::nullopt;
  return Dir;
}

std::string ImageFile() {
  return Pick(sio::build::kInstalledImageFile, sio::build::kImageFile);
}

std::string X64ImageFile() {
  const std::string Installed = (fs::path(sio::build::kInstalledImageFile).parent_path() /
                                 fs::path(sio::build::kX64ImageFile).filename())
                                    .string();
  return Pick(Installed.c_str(), sio::build::kX64ImageFile);
}

// The setup driver's images are installed beside the module image.
std::string SetupDxeFile() {
  const std::string Installed = (fs::path(sio::build::kInstalledImageFile).parent_path() /
                                 fs::path(sio::build::kSetupDxeFile).filename())
                                    .string();
  return Pick(Installed.c_str(), sio::build::kSetupDxeFile);
}

std::string X64SetupDxeFile() {
  const std::string Installed = (fs::path(sio::build::kInstalledImageFile).parent_path() /
                                 fs::path(sio::build::kX64SetupDxeFile).filename())
                                    .string();
  return Pick(Installed.c_str(), sio::build::kX64SetupDxeFile);
}

std::string ModuleFile() {
  return Pick(sio::build::kInstalledModuleFile, sio::build::kModuleFile);
}

std::string Edk2PackageDir() {
  return Pick(sio::build::kInstalledEdk2Package, sio::build::kEdk2PackageDir);
}

std::string ScenarioDir() {
  return Pick(sio::build::kInstalledScenarioDir, sio::build::kScenarioDir);
}

std::string OvmfCode() {
  return sio::build::kOvmfCode;
}

std::string OvmfVars() {
  return sio::build::kOvmfVars;
}

} // namespace sio::data
