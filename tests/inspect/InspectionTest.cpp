// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio inspect` as a command, run in this process: what it refuses before
// any port is touched, and what it tells the operator.
#include "inspect/Inspection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "InspectFixture.h"
#include "inspect/ChipReader.h"
#include "inspect/PortChoice.h"

namespace inspect::test {
namespace {

// The one-line error of `sio inspect ARGS`; empty when it ran. With
// ReadImage, the command takes --image.
std::string Refusal(std::vector<std::string> Args, ImageBoardReader ReadImage = {}) {
  CLI::App App;
  sio::Result<int> Outcome = 0;
  AddInspection(
      App, [&Outcome](sio::Result<int> Done) { Outcome = std::move(Done); }, std::move(ReadImage));
  std::reverse(Args.begin(), Args.end());
  try {
    App.parse(Args);
  } catch (const CLI::Error& Error) {
    return Error.what();
  }
  return Outcome ? std::string() : Outcome.Message();
}

std::vector<char> Bytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

// A copy of a flash image given as the port device stays as it was: the
// command stops before the first access, with the file and the reason.
TEST(InspectCommand, AnotherFileAsThePortDeviceIsLeftUntouched) {
  auto Path = (std::filesystem::temp_directory_path() /
               ("sio-inspect-" + std::to_string(::getpid()) + "-flash.fd"))
                  .string();
  std::vector<char> Image(0x20000);
  for (size_t I = 0; I < Image.size(); ++I)
    Image[I] = static_cast<char>(I * 7);
  std::ofstream(Path, std::ios::binary).write(Image.data(), static_cast<long>(Image.size()));
  for (const auto& Extra : {std::vector<std::string>{}, {"--all"}, {"--chip-port", "0x164E"}}) {
    std::vector<std::string> Args{"--dev-port", Path};
    Args.insert(Args.end(), Extra.begin(), Extra.end());
    EXPECT_TRUE(Refusal(Args).starts_with(Path + ": not the port device: a regular file"))
        << Refusal(Args);
    EXPECT_EQ(Bytes(Path), Image);
  }
  std::filesystem::remove(Path);
}

// --chip-port: the module's index ports; another only with --unsafe-port, and
// never one whose index or data port lies on a PC port with side effects.
TEST(InspectCommand, PortChoice) {
  struct Case {
    uint64_t Port;
    bool Unsafe;
    const char* Refused; // nullptr: accepted
  };
  const Case Cases[] = {
      {0x2E, false, nullptr},
      {0x4E, false, nullptr},
      {0x162E, false, nullptr},
      {0x164E, false, nullptr},
      {0x2E, true, nullptr},
      {0x2F0, false,
       "0x02F0 is not one of the module's index ports (0x004E, 0x002E, 0x162E, "
       "0x164E); another port needs --unsafe-port"},
      {0x2F0, true, nullptr},
      {0x92, false, "not one of the module's index ports"},
      {0x92, true, "0x0092 and its data port 0x0093 reach system control port A"},
      {0x91, true, "reach system control port A (bit 0 resets the processor) at 0x0092"},
      {0x93, true, nullptr},
      {0x1F, true, "the interrupt controller"},
      {0x21, true, "the interrupt controller"},
      {0x22, true, nullptr},
      {0x40, true, "the interval timer"},
      {0x43, true, "the interval timer"},
      {0x5F, true, "the keyboard controller's data port"},
      {0x61, true, nullptr},
      {0x64, true, "the keyboard controller's command port"},
      {0x6F, true, "the real-time clock"},
      {0x71, true, "the real-time clock"},
      {0x7F, true, "overlaps the POST code port"},
      {0x8F, true, "the POST code and DMA page registers"},
      {0xA0, true, "the second interrupt controller"},
      {0xB1, true, "the SMI command and status ports (a write raises an SMI)"},
      {0xB3, true, "the SMI command"},
      {0xB4, true, nullptr},
      {0xCF7, true, "the PCI configuration"},
      {0xCFF, true, "the PCI configuration"},
      {0xFFFF, true, "out of range"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::to_string(C.Port) + (C.Unsafe ? " unsafe" : ""));
    std::string Problem = IndexPortProblem(C.Port, C.Unsafe);
    if (!C.Refused) {
      EXPECT_EQ(Problem, "");
      continue;
    }
    EXPECT_NE(Problem.find(C.Refused), std::string::npos) << Problem;
    bool SideEffects = Problem.find("where a write has side effects") != std::string::npos;
    if (SideEffects) {
      EXPECT_TRUE(Problem.ends_with("refused even with --unsafe-port")) << Problem;
    }
  }
  // Every listed range is refused at its first and last port.
  for (const SideEffectPorts& Range : kSideEffectPorts) {
    EXPECT_NE(IndexPortProblem(Range.First, true), "");
    EXPECT_NE(IndexPortProblem(Range.Last, true), "");
  }
  // The plan, which touches nothing, is refused the same way.
  EXPECT_EQ(Refusal({"--plan", "--chip-port", "0x92"}),
            "--chip-port: " + IndexPortProblem(0x92, false));
  EXPECT_EQ(Refusal({"--plan", "--chip-port", "0x92", "--unsafe-port"}),
            "--chip-port: " + IndexPortProblem(0x92, true));
  EXPECT_EQ(Refusal({"--plan", "--chip-port", "0x2F0", "--unsafe-port"}), "");
  EXPECT_NE(Refusal({"--plan", "--unsafe-port"}), "");
  // The old spelling --port reads the same value, is judged the same way and
  // satisfies --unsafe-port; it is not taken with the new one.
  EXPECT_EQ(Refusal({"--plan", "--port", "0x92"}), "--chip-port: " + IndexPortProblem(0x92, false));
  EXPECT_EQ(Refusal({"--plan", "--port", "0x2F0", "--unsafe-port"}), "");
  EXPECT_NE(Refusal({"--plan", "--port", "0x2E", "--chip-port", "0x2E"}).find("excludes"),
            std::string::npos);
}

// Before the discovery probes several ports of a live machine the operator
// is told once; not when --chip-port names the one port.
TEST(InspectCommand, NoticeBeforeProbingSeveralLivePorts) {
  std::string Notice = LiveProbeNotice({}, "/dev/port");
  EXPECT_TRUE(Notice.starts_with("/dev/port: probing up to 4 index ports (0x004E, 0x002E, "
                                 "0x162E, 0x164E) goes around the kernel's own drivers"))
      << Notice;
  EXPECT_NE(Notice.find("--chip-port"), std::string::npos);
  EXPECT_EQ(LiveProbeNotice({0x4E, false}, "/dev/port"), "");
  EXPECT_EQ(LiveProbeNotice({0x4E, true}, "/dev/port"), "");
}

// --image: the image's ports are the module's, for --chip-port as for the
// discovery, but a port with side effects stays refused even when the
// image probes it, and an image probing none gives no discovery to follow.
TEST(InspectCommand, AnImagesPortsAreTheModules) {
  auto Reader = [](chip::BoardValues Values) {
    return [Values](const std::string&) { return Values; };
  };
  const auto Only2E = Reader(ProbingOnly({0x2E}));
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi"}, Only2E), "");
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi", "--chip-port", "0x2E"}, Only2E), "");
  EXPECT_EQ(
      Refusal({"--plan", "--image", "p.efi", "--chip-port", "0x4E"}, Only2E),
      "--chip-port: 0x004E is not one of the module's index ports (0x002E); another port needs "
      "--unsafe-port");
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi", "--chip-port", "0x4E", "--unsafe-port"}, Only2E),
            "");
  const auto At2F0 = Reader(ProbingOnly({0x2F0}));
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi", "--chip-port", "0x2F0"}, At2F0), "");

  const auto At92 = Reader(ProbingOnly({0x2E, 0x92}));
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi"}, At92),
            "--image: p.efi: its index port 0x0092 and its data port 0x0093 reach system control "
            "port A (bit 0 resets the processor) at 0x0092, where a write has side effects; its "
            "discovery is refused; give --chip-port P");
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi", "--chip-port", "0x2E"}, At92), "");
  EXPECT_NE(Refusal({"--plan", "--image", "p.efi", "--chip-port", "0x92"}, At92)
                .find("where a write has side effects; refused though the module probes it"),
            std::string::npos);
  EXPECT_NE(Refusal({"--plan", "--image", "p.efi"}, Reader(ProbingOnly({0xCF8})))
                .find("its index port 0x0CF8 overlaps"),
            std::string::npos);
  EXPECT_EQ(Refusal({"--plan", "--image", "p.efi"}, Reader(ProbingOnly({}))),
            "--image: p.efi: it probes no index port; give --chip-port P");

  // The same board values without an image: the built-in ports only.
  EXPECT_EQ(IndexPortProblem(0x4E, false), "");
  EXPECT_NE(IndexPortProblem(0x4E, false, ProbingOnly({0x2E})), "");
  // Without a reader (`sio-inspect`) there is no --image.
  EXPECT_NE(Refusal({"--plan", "--image", "p.efi"}), "");
  // The reader's refusal is the command's.
  EXPECT_EQ(Refusal({"--plan", "--image", "bad.efi"},
                    [](const std::string& Path) -> sio::Result<chip::BoardValues> {
                      return sio::Fail("--image: " + Path + ": not an image");
                    }),
            "--image: bad.efi: not an image");
}

} // namespace
} // namespace inspect::test
