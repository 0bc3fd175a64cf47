// SPDX-License-Identifier: BSD-2-Clause-Patent
// The image's board values (PCDs): where the package's INF says they are,
// what `sio image config --set` writes there (EDK2's patching rules), what it
// refuses, and what a patched image does on the board model and in the
// emulator, against the host build given the same values.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "common/BuildPaths.h"
#include "emulator/ImageEngine.h"
#include "engine/HostBoardValues.h"
#include "engine/HostEngine.h"
#include "firmware/SioImageLayout.h"
#include "firmware/SioImageLayoutX64.h"
#include "invariants/PassInvariants.h"
#include "pe/ImageCheck.h"
#include "pe/TeImage.h"
#include "tests/support/ImageFixture.h"
#include "tests/support/TraceBuilder.h"
#include "tool/Commands.h"
#include "tool/ImageConfig.h"
#include "tool/InputError.h"
#include "tool/OptionRules.h"

namespace {

using test::TraceBuilder;

std::string ReadText(const std::string& Path) {
  std::ifstream In(Path);
  std::stringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

// EDK2's PatchBinaryFile, as its rules read: the value's bytes (its type's
// width, or the VOID* maximum size given) are cleared, then a number is
// written little-endian a byte at a time (each byte the value modulo 0x100),
// and a {..} array byte by byte until the maximum size is reached.
void EdkPatch(std::vector<uint8_t>& File, size_t Offset, const std::string& Type,
              const std::string& Value, size_t MaxSize) {
  size_t Length = Type == "UINT16" ? 2 : Type == "UINT32" ? 4 : MaxSize;
  ASSERT_LE(Offset + Length, File.size());
  for (size_t I = 0; I < Length; ++I)
    File[Offset + I] = 0;
  if (Type != "VOID*") {
    unsigned long long Number = std::stoull(Value, nullptr, 0);
    for (size_t I = 0; I < Length; ++I, Number /= 0x100)
      File[Offset + I] = static_cast<uint8_t>(Number % 0x100);
    return;
  }
  std::string Items = Value.substr(1, Value.size() - 2);
  std::stringstream List(Items);
  size_t Index = 0;
  for (std::string Item; std::getline(List, Item, ',');) {
    File[Offset + Index] = static_cast<uint8_t>(std::stoul(Item, nullptr, 0) % 0x100);
    if (++Index >= Length)
      break;
  }
}

struct InfPcd {
  std::string Name;
  std::string Value;
  size_t Offset;
};

// The lines of the package INF's [PatchPcd.IA32] (or Section) as the build
// completed it.
std::vector<InfPcd> PackagedPatchPcds(const std::string& Section = "PatchPcd.IA32") {
  std::string Inf = ReadText(std::string(sio::build::kEdk2PackageDir) + "/SioF81216aPei.inf");
  // The section's header line, not a mention of it in the INF's comments.
  const size_t Begin = Inf.find("\n[" + Section + "]");
  if (Begin == std::string::npos)
    return {};
  Inf = Inf.substr(Begin, Inf.find("\n[", Begin + 1) - Begin);
  std::regex Line(R"(gSioF81216aPkgTokenSpaceGuid\.(\w+)\|([^|\n]+)\|(0x[0-9A-Fa-f]+))");
  std::vector<InfPcd> Pcds;
  for (auto It = std::sregex_iterator(Inf.begin(), Inf.end(), Line); It != std::sregex_iterator();
       ++It)
    Pcds.push_back({(*It)[1], (*It)[2], std::stoul((*It)[3], nullptr, 16)});
  return Pcds;
}

// Name -> (type, default) of the package's DEC.
std::map<std::string, std::pair<std::string, std::string>> DeclaredPcds() {
  std::string Dec = ReadText(std::string(sio::build::kEdk2PackageDir) + "/SioF81216aPkg.dec");
  std::regex Line(R"(gSioF81216aPkgTokenSpaceGuid\.(\w+)\|([^|\n]+)\|(UINT16|UINT32|VOID\*)\|)");
  std::map<std::string, std::pair<std::string, std::string>> Pcds;
  for (auto It = std::sregex_iterator(Dec.begin(), Dec.end(), Line); It != std::sregex_iterator();
       ++It)
    Pcds[(*It)[1]] = {(*It)[3], (*It)[2]};
  return Pcds;
}

// Each processor mode's section of the INF gives the offsets in that mode's image.
TEST(ImageConfig, EveryPcdOfTheInfHoldsItsDeclaredDefaultAtItsOffset) {
  const auto Dec = DeclaredPcds();
  ASSERT_EQ(Dec.size(), chip::kPcds.size());
  const std::pair<const char*, const std::vector<uint8_t>*> Sections[] = {
      {"PatchPcd.IA32", &test::BuiltImage()}, {"PatchPcd.X64", &test::BuiltX64Image()}};
  for (const auto& [Section, Built] : Sections) {
    SCOPED_TRACE(Section);
    const auto Inf = PackagedPatchPcds(Section);
    ASSERT_EQ(Inf.size(), chip::kPcds.size());
    const std::vector<uint8_t>& Image = *Built;
    for (const InfPcd& Pcd : Inf) {
      SCOPED_TRACE(Pcd.Name);
      ASSERT_TRUE(Dec.count(Pcd.Name));
      const chip::PcdInfo& Info = siotool::FindPcd(Pcd.Name);
      std::vector<uint8_t> Declared = siotool::EncodePcdValue(Info, Dec.at(Pcd.Name).second);
      ASSERT_LE(Pcd.Offset + Info.Size, Image.size());
      EXPECT_EQ(
          std::vector<uint8_t>(Image.begin() + Pcd.Offset, Image.begin() + Pcd.Offset + Info.Size),
          Declared);
      EXPECT_EQ(siotool::EncodePcdValue(Info, Pcd.Value), Declared) << "INF value " << Pcd.Value;
      EXPECT_EQ(Pcd.Offset, chip::BoardValuesFileOffset(Image).Value() + Info.RecordOffset);
    }
  }
}

TEST(ImageConfig, AValuePatchedAtTheInfOffsetChangesWhatTheImageDoes) {
  // The probe order starts at PcdSioF81216aConfigPort: 0x2E written there
  // makes the first probe find a chip at 0x2E.
  std::vector<uint8_t> Image = test::BuiltImage();
  for (const InfPcd& Pcd : PackagedPatchPcds())
    if (Pcd.Name == "PcdSioF81216aConfigPort")
      EdkPatch(Image, Pcd.Offset, "UINT16", "0x2E", 0);
  board::Scenario S;
  S.ChipPort = 0x2E;
  S.SetupVariable.reset();
  emulator::ImageRunReport Run = emulator::RunImagePass(Image, S);
  ASSERT_TRUE(Run.Completed) << Run.Fault;
  pi::Trace Expected =
      TraceBuilder().EarlyWrites().ProbeMatch(0x2E).EnterConfig(0x2E).InitScript(0x2E).Events();
  pi::Trace Ports = test::PortAccesses(Run.Result.Events);
  ASSERT_GE(Ports.size(), Expected.size());
  EXPECT_EQ(pi::Trace(Ports.begin(), Ports.begin() + Expected.size()), Expected)
      << test::Dump(Ports);
}

// DSC values for every PCD, as a platform overrides them.
const std::vector<std::pair<std::string, std::string>> kEveryPcdOverridden = {
    {"PcdSioF81216aPostCode", "0x55"},
    {"PcdSioF81216aLpcDecodeAddress", "0x8000F884"},
    {"PcdSioF81216aLpcDecodeValue", "0x00FC0C01"},
    {"PcdSioF81216aConfigPort", "0x2E"},
    {"PcdSioF81216aCandidatePorts", "{0x4E, 0x00}"},
    {"PcdSioF81216aInitScript", "{0x07, 0x00, 0x30, 0x01, 0x60, 0x02, 0x61, 0xF8, 0x70, 0x04, "
                                "0x00, 0x00}"},
};

TEST(ImageConfig, SetWritesWhatEdk2sPatchBinaryFileWrites) {
  const std::vector<uint8_t>& Image = test::BuiltImage();
  std::vector<siotool::PcdAssignment> Assignments;
  std::vector<uint8_t> Edk2 = Image;
  const auto Inf = PackagedPatchPcds();
  for (const auto& [Name, Value] : kEveryPcdOverridden) {
    Assignments.push_back(siotool::ParseAssignment(Name + "=" + Value));
    const chip::PcdInfo& Info = siotool::FindPcd(Name);
    auto It = std::find_if(Inf.begin(), Inf.end(), [&](const InfPcd& P) { return P.Name == Name; });
    ASSERT_NE(It, Inf.end()) << Name;
    std::string Type = Info.Type == chip::PcdType::Uint16   ? "UINT16"
                       : Info.Type == chip::PcdType::Uint32 ? "UINT32"
                                                            : "VOID*";
    EdkPatch(Edk2, It->Offset, Type, Value, Info.Size);
  }
  std::vector<uint8_t> Patched = siotool::PatchImage(Image, Assignments, "image");
  EXPECT_EQ(Patched, Edk2);
  EXPECT_NE(Patched, Image);
  // Read back as set, the short arrays zero-padded.
  auto Config = chip::ReadBoardValues(Patched);
  ASSERT_TRUE(Config) << Config.Message();
  EXPECT_EQ(Config->PostCode, 0x55);
  EXPECT_EQ(Config->LpcDecodeAddress, 0x8000F884u);
  EXPECT_EQ(Config->LpcDecodeValue, 0x00FC0C01u);
  EXPECT_EQ(Config->ProbeOrder(), (std::vector<uint16_t>{0x2E, 0x4E}));
  EXPECT_EQ(Config->Script().size(), 5u);
}

// The X64 image carries the same record at the place its own link gave it:
// read from either image in either form, the values are the same, and a
// value set in the X64 image reads back from it.
TEST(ImageConfig, BothImagesInBothFormsHoldTheSameBoardValues) {
  const auto Reference = chip::ReadBoardValues(test::BuiltImage());
  ASSERT_TRUE(Reference) << Reference.Message();
  for (const auto* Image : {&test::BuiltImage(), &test::BuiltX64Image()}) {
    const auto Te = pe::ConvertToTe(*Image).Value();
    for (std::span<const uint8_t> Form :
         {std::span<const uint8_t>(*Image), std::span<const uint8_t>(Te.Bytes)}) {
      const auto Config = chip::ReadBoardValues(Form);
      ASSERT_TRUE(Config) << Config.Message();
      EXPECT_EQ(*Config, *Reference);
    }
  }
  EXPECT_NE(chip::BoardValuesFileOffset(test::BuiltX64Image()).Value(),
            chip::BoardValuesFileOffset(test::BuiltImage()).Value());

  std::vector<siotool::PcdAssignment> Assignments;
  for (const auto& [Name, Value] : kEveryPcdOverridden)
    Assignments.push_back(siotool::ParseAssignment(Name + "=" + Value));
  const auto Patched = siotool::PatchImage(test::BuiltX64Image(), Assignments, "x64 image");
  const auto Config = chip::ReadBoardValues(Patched);
  ASSERT_TRUE(Config) << Config.Message();
  EXPECT_EQ(Config->PostCode, 0x55);
  EXPECT_EQ(Config->ProbeOrder(), (std::vector<uint16_t>{0x2E, 0x4E}));
  // Nothing but the record changed, and the patched image is still sound.
  const uint32_t Record = chip::BoardValuesFileOffset(Patched).Value();
  for (size_t I = 0; I < Patched.size(); ++I) {
    if (I < Record || I >= Record + sizeof(SioBoardConfig)) {
      ASSERT_EQ(Patched[I], test::BuiltX64Image()[I]) << "byte " << I;
    }
  }
  EXPECT_TRUE(pe::ValidatePe32Image(Patched).Ok());
}

TEST(ImageConfig, NamesWithOrWithoutTheTokenSpace) {
  EXPECT_EQ(&siotool::FindPcd("PcdSioF81216aPostCode"), &chip::kPcds[0]);
  EXPECT_EQ(&siotool::FindPcd("gSioF81216aPkgTokenSpaceGuid.PcdSioF81216aInitScript"),
            &chip::kPcds[5]);
  EXPECT_THROW(siotool::FindPcd("gOtherTokenSpaceGuid.PcdSioF81216aPostCode"), siotool::InputError);
  EXPECT_THROW(siotool::FindPcd("PcdSioF81216aPostcode"), siotool::InputError);
}

TEST(ImageConfig, RefusesWhatTheModuleCannotBeGiven) {
  const std::string Script48 = [] {
    std::string Text = "{";
    for (int I = 0; I < 24; ++I)
      Text += std::string(I ? ", " : "") + "0x07, 0x01";
    return Text + "}";
  }();
  struct Case {
    const char* Name;
    std::vector<std::string> Set;
    const char* Reason; // in the message
  } Cases[] = {
      {"unknown name", {"PcdSioF81216aNothing=1"}, "unknown PCD"},
      {"not NAME=VALUE", {"PcdSioF81216aPostCode"}, "NAME=VALUE"},
      {"UINT16 too large", {"PcdSioF81216aPostCode=0x10000"}, "out of range"},
      {"UINT32 too large", {"PcdSioF81216aLpcDecodeValue=0x100000000"}, "out of range"},
      {"not a number", {"PcdSioF81216aConfigPort=L\"x\""}, "not a number"},
      {"candidates beyond 8 bytes",
       {"PcdSioF81216aCandidatePorts={0x2E,0,0x4E,0,0x2E,0x16,0x4E,0x16,0}"},
       "more than the 8 bytes"},
      {"a byte above 0xFF", {"PcdSioF81216aCandidatePorts={0x12E, 0x00}"}, "out of range"},
      {"a VOID* value that is no array", {"PcdSioF81216aCandidatePorts=0x2E"}, "byte array"},
      {"script beyond 48 bytes",
       {"PcdSioF81216aInitScript=" + Script48.substr(0, Script48.size() - 1) + ", 0}"},
       "more than the 48 bytes"},
      {"script with no end pair",
       {"PcdSioF81216aInitScript=" + Script48},
       "no (0x00, 0x00) end pair"},
      {"index port on the progress code", {"PcdSioF81216aConfigPort=0x80"}, "0x80-0x81"},
      {"data port on the progress code", {"PcdSioF81216aConfigPort=0x7F"}, "0x80-0x81"},
      {"index port on the progress code's high byte",
       {"PcdSioF81216aConfigPort=0x81"},
       "0x80-0x81"},
      {"index port on the last byte of CONFIG_DATA",
       {"PcdSioF81216aConfigPort=0xCFF"},
       "0xCF8-0xCFF"},
      {"data port on the last byte of CONFIG_DATA",
       {"PcdSioF81216aCandidatePorts={0xFE,0x0C}"},
       "0xCF8-0xCFF"},
      {"candidate on CONFIG_DATA",
       {"PcdSioF81216aCandidatePorts={0x2E,0,0xFC,0x0C}"},
       "0xCF8-0xCFF"},
      {"data port on CONFIG_ADDRESS", {"PcdSioF81216aCandidatePorts={0xF7,0x0C}"}, "0xCF8-0xCFF"},
      {"no port to probe",
       {"PcdSioF81216aConfigPort=0", "PcdSioF81216aCandidatePorts={0,0,0,0,0,0,0,0}"},
       "no port to probe"},
  };
  for (const Case& C : Cases) {
    try {
      std::vector<siotool::PcdAssignment> Assignments;
      for (const auto& Text : C.Set)
        Assignments.push_back(siotool::ParseAssignment(Text));
      (void)siotool::PatchImage(test::BuiltImage(), Assignments, "image");
      ADD_FAILURE() << C.Name << ": accepted";
    } catch (const siotool::InputError& E) {
      EXPECT_NE(std::string(E.what()).find(C.Reason), std::string::npos)
          << C.Name << ": " << E.what();
    }
  }
  // What is accepted: ports next to the refused ranges, a lone candidate.
  for (const char* Good : {"PcdSioF81216aConfigPort=0x7E", "PcdSioF81216aConfigPort=0x82",
                           "PcdSioF81216aConfigPort=0xCF6", "PcdSioF81216aConfigPort=0xD00"}) {
    EXPECT_NO_THROW(
        (void)siotool::PatchImage(test::BuiltImage(), {siotool::ParseAssignment(Good)}, "image"))
        << Good;
  }
}

// The patched-image passes run on the IA-32 image and on the X64 one alike.
class PatchedImage : public ::testing::TestWithParam<test::ProcessorMode> {
protected:
  // The image with these DSC values.
  std::vector<uint8_t> Patched(const std::vector<std::string>& Set) const {
    std::vector<siotool::PcdAssignment> Assignments;
    for (const auto& Text : Set)
      Assignments.push_back(siotool::ParseAssignment(Text));
    return siotool::PatchImage(test::BuiltImage(GetParam()), Assignments, "image");
  }
};
INSTANTIATE_TEST_SUITE_P(BothImages, PatchedImage, ::testing::ValuesIn(test::kBuiltModes),
                         test::ModeTestName);

// Runs S on the image and on the host build given the image's values: both
// must agree event for event and keep every pass invariant.
board::PassResult RunBoth(const std::vector<uint8_t>& Image, const board::Scenario& S) {
  auto Config = chip::ReadBoardValues(Image);
  EXPECT_TRUE(Config) << Config.Message();
  const SioBoardConfig Record = Config->Record();
  board::PassResult Host;
  {
    engine::ScopedBoardValues Scoped(Record);
    Host = engine::RunHostPass(S);
  }
  emulator::ImageRunReport Run = emulator::RunImagePass(Image, S);
  EXPECT_TRUE(Run.Completed) << Run.Fault;
  EXPECT_EQ(Run.Result.Events, Host.Events) << "image:\n"
                                            << test::Dump(Run.Result.Events) << "host:\n"
                                            << test::Dump(Host.Events);
  EXPECT_EQ(Run.Result.Chip, Host.Chip);
  EXPECT_EQ(Run.Result.Status, Host.Status);
  EXPECT_EQ(invariants::CheckPass(S, Run.Result, nullptr, *Config), std::vector<std::string>{});
  return Run.Result;
}

board::Scenario NoVariable(std::optional<uint16_t> ChipPort) {
  board::Scenario S;
  S.ChipPort = ChipPort;
  S.SetupVariable.reset();
  return S;
}

TEST_P(PatchedImage, UartAt0x2F8WithInterrupt4) {
  auto Image = Patched({"PcdSioF81216aInitScript={0x07, 0x00, 0x25, 0x01, 0x27, 0x10, 0x30, 0x01, "
                        "0x60, 0x02, 0x61, 0xF8, 0x70, 0x04, 0x00, 0x00}"});
  board::PassResult R = RunBoth(Image, NoVariable(0x4E));
  ASSERT_TRUE(R.Chip);
  auto& Ld0 = R.Chip->Devices.at(0);
  EXPECT_EQ(Ld0[0x30], 0x01);
  EXPECT_EQ(Ld0[0x60] << 8 | Ld0[0x61], 0x02F8);
  EXPECT_EQ(Ld0[0x70], 0x04);
  EXPECT_EQ(R.Chip->Devices.count(1), 0u) << "logical device 1 is left alone";
}

TEST_P(PatchedImage, SecondUartEnabled) {
  auto Image = Patched({"PcdSioF81216aInitScript={0x07, 0x00, 0x30, 0x01, 0x60, 0x03, 0x61, 0xF8, "
                        "0x70, 0x04, 0x07, 0x01, 0x30, 0x01, 0x60, 0x02, 0x61, 0xF8, 0x70, 0x03, "
                        "0x00, 0x00}"});
  board::PassResult R = RunBoth(Image, NoVariable(0x4E));
  ASSERT_TRUE(R.Chip);
  for (auto [Device, Base, Irq] : {std::tuple{0, 0x03F8, 4}, std::tuple{1, 0x02F8, 3}}) {
    auto& Regs = R.Chip->Devices.at(static_cast<uint8_t>(Device));
    EXPECT_EQ(Regs[0x30], 0x01) << Device;
    EXPECT_EQ(Regs[0x60] << 8 | Regs[0x61], Base) << Device;
    EXPECT_EQ(Regs[0x70], Irq) << Device;
  }
}

TEST_P(PatchedImage, OnePortOnlyWithNoChipIsProbedOnceAndNothingElseIsTouched) {
  auto Image = Patched(
      {"PcdSioF81216aConfigPort=0x2E", "PcdSioF81216aCandidatePorts={0, 0, 0, 0, 0, 0, 0, 0}"});
  board::PassResult R = RunBoth(Image, NoVariable(std::nullopt));
  EXPECT_EQ(R.Status, 0x80000003u);
  EXPECT_EQ(test::PortAccesses(R.Events), TraceBuilder().EarlyWrites().ProbeMiss(0x2E).Events())
      << test::Dump(R.Events);
}

TEST_P(PatchedImage, LpcWriteSkipped) {
  auto Image = Patched({"PcdSioF81216aLpcDecodeAddress=0", "PcdSioF81216aPostCode=0x1234"});
  board::PassResult R = RunBoth(Image, NoVariable(0x4E));
  pi::Trace Ports = test::PortAccesses(R.Events);
  ASSERT_GE(Ports.size(), 2u);
  EXPECT_EQ(Ports[0], test::Out(0x80, 0x1234, 2));
  EXPECT_EQ(Ports[1], test::Out(0x4E, 0x77));
  for (const auto& E : Ports)
    EXPECT_TRUE(E.Port < 0xCF8 || E.Port > 0xCFF) << pi::FormatEvent(E);
  EXPECT_EQ(R.PostCodes, std::vector<uint32_t>{0x1234});
  EXPECT_EQ(R.Status, 0u);
}

TEST_P(PatchedImage, AScriptThatFillsItsReservedBytesIsPlayedToTheirEndAndNoFurther) {
  // Written over the image directly: `sio image config --set` refuses a script
  // without an end pair, but the module must stop at its reserved bytes.
  std::vector<uint8_t> Image = test::BuiltImage(GetParam());
  const chip::PcdInfo& Script = siotool::FindPcd("PcdSioF81216aInitScript");
  auto Record = chip::BoardValuesFileOffset(Image);
  ASSERT_TRUE(Record) << Record.Message();
  const size_t At = *Record + Script.RecordOffset;
  for (size_t I = 0; I < Script.Size; I += 2) {
    Image[At + I] = static_cast<uint8_t>(0xE0 + I / 2); // registers 0xE0..0xF7 of LD0
    Image[At + I + 1] = static_cast<uint8_t>(I);
  }
  auto Config = chip::ReadBoardValues(Image);
  ASSERT_TRUE(Config);
  EXPECT_FALSE(Config->ScriptHasEndPair());
  EXPECT_NE(siotool::ConfigProblem(*Config), "");
  board::PassResult R = RunBoth(Image, NoVariable(0x4E));
  pi::Trace Expected = TraceBuilder()
                           .EarlyWrites()
                           .ProbeMatch(0x4E)
                           .EnterConfig(0x4E)
                           .InitScript(0x4E, *Config)
                           .ExitConfig(0x4E)
                           .Events();
  EXPECT_EQ(Config->Script().size(), 24u);
  EXPECT_EQ(test::PortAccesses(R.Events), Expected) << test::Dump(R.Events);
  EXPECT_EQ(R.Chip->Devices.at(0)[0xF7], 46);
}

TEST_P(PatchedImage, EveryPcdOverriddenRunsAsItsValuesSay) {
  std::vector<std::string> Set;
  for (const auto& [Name, Value] : kEveryPcdOverridden)
    Set.push_back(Name + "=" + Value);
  auto Image = Patched(Set);
  board::PassResult R = RunBoth(Image, NoVariable(0x4E));
  // 0x2E first (no chip there), then 0x4E, the only candidate.
  pi::Trace Expected;
  Expected.push_back(test::Out(0x80, 0x55, 2));
  Expected.push_back(test::Out(0xCF8, 0x8000F884, 4));
  Expected.push_back(test::Out(0xCFC, 0x00FC0C01, 4));
  TraceBuilder Rest;
  Rest.ProbeMiss(0x2E).ProbeMatch(0x4E).EnterConfig(0x4E);
  Rest.WriteReg(0x4E, 0x07, 0x00).WriteReg(0x4E, 0x30, 0x01).WriteReg(0x4E, 0x60, 0x02);
  Rest.WriteReg(0x4E, 0x61, 0xF8).WriteReg(0x4E, 0x70, 0x04).ExitConfig(0x4E);
  Expected.insert(Expected.end(), Rest.Events().begin(), Rest.Events().end());
  EXPECT_EQ(test::PortAccesses(R.Events), Expected) << test::Dump(R.Events);
  EXPECT_EQ(R.PostCodes, std::vector<uint32_t>{0x55});
}

// The board record's closing pair (after the reserved script bytes) with
// either byte or both not 0: every command that reads the record refuses the
// image alike, before it prints a listing or writes a copy.
TEST(ImageConfig, EveryCommandRefusesAClosingPairThatIsNotZero) {
  namespace fs = std::filesystem;
  const fs::path Dir = fs::path(sio::build::kTestWorkDir) / "image_config" / "closing_pair";
  fs::remove_all(Dir);
  fs::create_directories(Dir);
  const std::pair<uint8_t, uint8_t> Pairs[] = {{0x07, 0x00}, {0x00, 0x01}, {0x07, 0x01}};
  for (test::ProcessorMode Mode : test::kBuiltModes) {
    for (const auto& [Register, Value] : Pairs) {
      SCOPED_TRACE(testing::Message() << emulator::ModeName(Mode) << " closing pair "
                                      << int(Register) << ", " << int(Value));
      std::vector<uint8_t> Image = test::BuiltImage(Mode);
      const size_t At = chip::BoardValuesFileOffset(Image).Value() +
                        __builtin_offsetof(SioBoardConfig, InitScriptClosing);
      Image[At] = Register;
      Image[At + 1] = Value;
      auto Record = chip::ReadBoardRecord(Image);
      ASSERT_FALSE(Record);
      EXPECT_NE(Record.Message().find("closing pair"), std::string::npos) << Record.Message();
      EXPECT_THROW((void)siotool::PatchImage(
                       Image, {siotool::ParseAssignment("PcdSioF81216aPostCode=0x55")}, "image"),
                   siotool::InputError);

      const std::string File = (Dir / "damaged.efi").string();
      const std::string Out = (Dir / "out.efi").string();
      std::ofstream(File, std::ios::binary)
          .write(reinterpret_cast<const char*>(Image.data()), std::streamsize(Image.size()));
      const std::vector<std::vector<std::string>> Commands = {
          {"image", "config", File},
          {"image", "config", File, "--json"},
          {"image", "config", File, "--inf"},
          {"image", "config", File, "--set", "PcdSioF81216aPostCode=0x55", "-o", Out},
          {"run", "--image", File},
          {"diff", "--image", File},
          {"inspect", "--image", File, "--dev-port", (Dir / "no-port").string()},
      };
      for (const auto& Command : Commands) {
        SCOPED_TRACE(Command[0] + " " + Command[1]);
        CLI::App App;
        int ExitCode = -1;
        siotool::AddCommands(App, ExitCode);
        std::vector<const char*> Args = {"sio"};
        for (const std::string& Arg : Command)
          Args.push_back(Arg.c_str());
        std::string Refusal;
        testing::internal::CaptureStdout();
        try {
          App.parse(static_cast<int>(Args.size()), const_cast<char**>(Args.data()));
        } catch (const siotool::InputError& Error) {
          Refusal = Error.what();
        }
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "printed before refusing";
        EXPECT_NE(Refusal.find("closing pair"), std::string::npos)
            << "exit " << ExitCode << ": " << Refusal;
        EXPECT_FALSE(fs::exists(Out));
      }
    }
  }
}

// A base relocation whose site starts up to its width minus one bytes before
// the board record reaches into it: a loader moving the image would change
// the record. One that ends where the record begins is sound.
TEST(ImageConfig, ARelocationReachingIntoTheBoardRecordIsRefused) {
  struct Mode {
    test::ProcessorMode Image;
    uint32_t RecordRva;
    uint16_t Type;  // HIGHLOW or DIR64
    uint32_t Width; // bytes the relocation changes
  } Modes[] = {{test::ProcessorMode::Ia32, sio::image::kBoardConfigRva, 3, 4},
               {test::ProcessorMode::X64, sio::image::x64::kBoardConfigRva, 10, 8}};
  for (const Mode& M : Modes) {
    for (uint32_t Before = 1; Before <= M.Width; ++Before) {
      SCOPED_TRACE(testing::Message()
                   << emulator::ModeName(M.Image) << ", " << Before << " bytes before the record");
      std::vector<uint8_t> Image = test::BuiltImage(M.Image);
      const pe::PeFile File = pe::ReadPeFile(Image).Value();
      const pe::SectionHeader* Holder = File.SectionAt(File.RelocationRva);
      ASSERT_NE(Holder, nullptr);
      const size_t Block = Holder->RawOffset + (File.RelocationRva - Holder->VirtualAddress);
      uint32_t BlockSize = 0;
      std::memcpy(&BlockSize, &Image[Block + 4], 4);
      ASSERT_GE(BlockSize, 10u);
      // The first block now holds one relocation, at Site; the rest of its
      // entries are padding.
      const uint32_t Site = M.RecordRva - Before;
      const uint32_t Page = Site & ~0xFFFu;
      std::memcpy(&Image[Block], &Page, 4);
      for (size_t Entry = Block + 8; Entry + 2 <= Block + BlockSize; Entry += 2)
        Image[Entry] = Image[Entry + 1] = 0;
      const uint16_t Entry = static_cast<uint16_t>(M.Type << 12 | (Site & 0xFFF));
      std::memcpy(&Image[Block + 8], &Entry, 2);
      auto Record = chip::ReadBoardRecord(Image);
      if (Before == M.Width) {
        EXPECT_TRUE(Record) << Record.Message();
      } else {
        ASSERT_FALSE(Record);
        EXPECT_NE(Record.Message().find("falls inside the board record"), std::string::npos)
            << Record.Message();
      }
    }
  }
}

// `--set` onto its own input, under its name or another name of the same
// file, is refused and the input left as it was.
TEST(ImageConfig, SetRefusesToWriteOverItsInput) {
  namespace fs = std::filesystem;
  const fs::path Dir = fs::path(sio::build::kTestWorkDir) / "image_config" / "own_input";
  fs::remove_all(Dir);
  fs::create_directories(Dir / "sub");
  const std::vector<uint8_t>& Image = test::BuiltImage();
  const std::string File = (Dir / "module.efi").string();
  std::ofstream(File, std::ios::binary)
      .write(reinterpret_cast<const char*>(Image.data()), std::streamsize(Image.size()));
  fs::create_hard_link(File, Dir / "linked.efi");
  for (const std::string& Out :
       {File, (Dir / "sub" / ".." / "module.efi").string(), (Dir / "linked.efi").string()}) {
    SCOPED_TRACE(Out);
    CLI::App App;
    int ExitCode = -1;
    siotool::AddCommands(App, ExitCode);
    const char* Args[] = {"sio",        "image",    "config",
                          File.c_str(), "--set",    "PcdSioF81216aPostCode=0x55",
                          "-o",         Out.c_str()};
    try {
      App.parse(static_cast<int>(std::size(Args)), const_cast<char**>(Args));
      ADD_FAILURE() << "written, exit " << ExitCode;
    } catch (const siotool::InputError& Error) {
      EXPECT_NE(std::string(Error.what()).find("is an input of this run"), std::string::npos)
          << Error.what();
    }
    EXPECT_EQ(pe::ReadFileBytes(File).value(), Image);
  }
}

} // namespace
