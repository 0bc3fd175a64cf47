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

TEST(DevPort, OneByteAtTheOffsetOfThePort) {
  std::vector<uint8_t> Space(0x200, 0xFF);
  Space[0x4F] = 0x02;
  std::string Path = TempFile("ports", Space);
  auto Ports = DevPort::Open(Path);
  ASSERT_TRUE(Ports) << Ports.Message();
  ASSERT_TRUE((*Ports)->Write(0x4E, 0x77));
  EXPECT_EQ(*(*Ports)->Read(0x4F), 0x02);
  EXPECT_EQ(*(*Ports)->Read(0x4E), 0x77);
  auto Beyond = (*Ports)->Read(0x1FFF);
  ASSERT_FALSE(Beyond);
  EXPECT_EQ(Beyond.Message(), Path + ": read of port 0x1FFF: no byte there");
  std::filesystem::remove(Path);

  auto Missing = DevPort::Open("/nonexistent/port");
  ASSERT_FALSE(Missing);
  EXPECT_EQ(Missing.Message(), "/nonexistent/port: no such device (this kernel has no /dev/port)");
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
