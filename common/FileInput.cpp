// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/FileInput.h"

#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/stat.h>

namespace sio {
namespace {

struct InputIdentity {
  std::filesystem::path Name; // as absolute and normal as the system tells
  dev_t Device = 0;
  ino_t Inode = 0;
};

struct Inputs {
  std::mutex Lock;
  std::vector<InputIdentity> Read;
};

Inputs& InputsOfThisRun() {
  static Inputs Kept;
  return Kept;
}

std::filesystem::path NormalName(const std::string& Path) {
  std::error_code Error;
  auto Name = std::filesystem::weakly_canonical(Path, Error);
  return Error ? std::filesystem::path(Path).lexically_normal() : Name;
}

void Remember(const std::string& Path) {
  InputIdentity Input{NormalName(Path)};
  struct stat Status {};
  if (::stat(Path.c_str(), &Status) == 0) {
    Input.Device = Status.st_dev;
    Input.Inode = Status.st_ino;
  }
  Inputs& Kept = InputsOfThisRun();
  std::lock_guard Guard(Kept.Lock);
  Kept.Read.push_back(std::move(Input));
}

} // namespace

bool IsInputOfThisRun(const std::string& Path) {
  const auto Name = NormalName(Path);
  struct stat Status {};
  const bool Exists = ::stat(Path.c_str(), &Status) == 0;
  Inputs& Kept = InputsOfThisRun();
  std::lock_guard Guard(Kept.Lock);
  for (const InputIdentity& Input : Kept.Read) {
    if (Input.Name == Name)
      return true;
    if (Exists && Input.Inode != 0 && Input.Device == Status.st_dev && Input.Inode == Status.st_ino)
      return true;
  }
  return false;
}

Result<std::vector<uint8_t>> ReadInputFile(const std::string& Path, size_t MaxSize) {
  std::error_code Error;
  if (std::filesystem::is_directory(Path, Error))
    return Fail(Path + ": is a directory");
  std::ifstream In(Path, std::ios::binary);
  if (!In)
    return Fail(ErrorKind::Io, Path + ": cannot open file");
  std::vector<uint8_t> Data;
  char Buffer[4096];
  // Read in pieces so that a device file or a huge file stops at the limit.
  while (In.read(Buffer, sizeof Buffer) || In.gcount() > 0) {
    Data.insert(Data.end(), Buffer, Buffer + In.gcount());
    if (Data.size() > MaxSize) {
      return Fail(Path + ": longer than " + std::to_string(MaxSize) + " bytes");
    }
  }
  if (In.bad())
    return Fail(ErrorKind::Io, Path + ": cannot read file");
  Remember(Path);
  return Data;
}

} // namespace sio
