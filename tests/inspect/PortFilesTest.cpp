// SPDX-License-Identifier: BSD-2-Clause-Patent
// The two files `sio inspect` reads on a live machine: the port device and the
// setup variable in efivarfs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "inspect/DevPort.h"
#include "inspect/EfiVariable.h"

namespace inspect::test {
namespace {

std::string TempFile(const std::string& Name, const std::vector<uint8_t>& Bytes) {
  auto Path = std::filesystem::temp_directory_path() /
              ("sio-inspect-" + std::to_string(::getpid()) + "-" + Name);
  std::ofstream(Path, std::ios::binary)
      .write(reinterpret_cast<const char*>(Bytes.data()), static_cast<long>(Bytes.size()));
  return Path;
}

// Only the port character device is opened for access: a file, a directory
// or another device named by --dev-port is refused before any access.
TEST(DevPort, OnlyThePortDeviceIsOpened) {
  std::vector<uint8_t> Image(0x2000, 0xFF);
  std::string File = TempFile("image.fd", Image);
  std::string Folder = TempFile("folder", {});
  std::filesystem::remove(Folder);
  std::filesystem::create_directory(Folder);
  const std::pair<std::string, std::string> Cases[] = {
      {File, "not the port device: a regular file"},
      {Folder, "not the port device: a directory"},
      {"/dev/null", "not the port device: character device 1:3"},
      {"/nonexistent/port", "no such device (this kernel has no /dev/port)"},
  };
  for (const auto& [Path, Reason] : Cases) {
    SCOPED_TRACE(Path);
    auto Ports = DevPort::Open(Path);
    ASSERT_FALSE(Ports);
    EXPECT_TRUE(Ports.Message().starts_with(Path + ": " + Reason)) << Ports.Message();
  }
  std::filesystem::remove(File);
  std::filesystem::remove(Folder);
}

TEST(EfiVariable, AttributesThenContent) {
  EXPECT_EQ(DefaultEfiVariablePath(), "/sys/firmware/efi/efivars/"
                                      "SioF81216aSetup00-cd2e75ec-4162-411d-b7f1-e1d882e697ab");
  struct Case {
    const char* Name;
    std::vector<uint8_t> Bytes;
    const char* Error; // nullptr: read
  };
  std::vector<uint8_t> Big(kMaxEfiVariableFileSize + 1, 0);
  const Case Cases[] = {
      {"attributes and content", {0x07, 0x00, 0x00, 0x80, 0x12, 0x34}, nullptr},
      {"attributes only", {0x07, 0x00, 0x00, 0x00}, nullptr},
      {"short", {0x07, 0x00, 0x00}, "3 bytes, shorter than the 4-byte attributes"},
      {"empty", {}, "0 bytes, shorter than the 4-byte attributes"},
      {"too long", Big, "longer than 65536 bytes"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::string Path = TempFile("var", C.Bytes);
    auto V = ReadEfiVariable(Path);
    std::filesystem::remove(Path);
    if (C.Error) {
      ASSERT_FALSE(V);
      EXPECT_EQ(V.Message(), Path + ": " + C.Error);
      continue;
    }
    ASSERT_TRUE(V) << V.Message();
    EXPECT_TRUE(V->Present);
    EXPECT_EQ(V->Attributes, C.Bytes[0] | uint32_t(C.Bytes[3]) << 24);
    EXPECT_EQ(V->Content, std::vector<uint8_t>(C.Bytes.begin() + 4, C.Bytes.end()));
  }
  auto Absent = ReadEfiVariable("/nonexistent/var");
  ASSERT_TRUE(Absent);
  EXPECT_FALSE(Absent->Present);
}

} // namespace
} // namespace inspect::test
