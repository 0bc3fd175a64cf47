// SPDX-License-Identifier: BSD-2-Clause-Patent
// Where the tools find the files they read by default. A program installed as
// <prefix>/bin/sio reads what was installed with it under
// <prefix>/share/sio-f81216a, wherever the prefix is (a package extracted
// into any folder works); a program run from the build tree reads the build's
// files (common/BuildPaths.h). OVMF's files and QEMU are the system's either
// way: the ones the build was configured with.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace sio::data {

// The installed data folder of the program at Executable: the layout's data
// folder relative to the program's own folder, when it exists. None for a
// program that was not installed (the build tree's).
std::optional<std::filesystem::path> InstalledDataDir(const std::filesystem::path& Executable);

// The defaults of the running program (/proc/self/exe).
std::string ImageFile();      // the module image (IA-32)
std::string X64ImageFile();   // the X64 module image, beside it
std::string ModuleFile();     // the module's firmware file (.ffs)
std::string Edk2PackageDir(); // the completed EDK2 package
std::string ScenarioDir();    // the scenario catalogue's files
std::string OvmfCode();       // OVMF's IA-32 code image
std::string OvmfVars();       // OVMF's IA-32 variable store

// The setup driver's images: IA-32, and X64 beside it.
std::string SetupDxeFile();
std::string X64SetupDxeFile();

} // namespace sio::data
