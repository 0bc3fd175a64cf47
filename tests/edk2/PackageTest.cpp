// SPDX-License-Identifier: BSD-2-Clause-Patent
// The EDK2 package as the build completes it: its DEC and INF name the same
// GUIDs, module and files as the package headers, the firmware's constants,
// the host's constants, the image and the module's firmware file.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/Scenario.h"
#include "chip/SetupLayout.h"
#include "chip/SetupVariable.h"
#include "common/BuildPaths.h"
#include "common/Hex.h"
#include "entry/SioReadyPpi.h"
#include "packaging/SetupDriverFile.h"
#include "packaging/SioModuleFile.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "pi/Guid.h"
#include "pi/KnownGuids.h"
#include "setup/SioSetupData.h"

namespace {

const std::string kPackageDir = sio::build::kEdk2PackageDir;

std::vector<uint8_t> ReadBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  EXPECT_TRUE(In) << "cannot open " << Path;
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

std::string ReadText(const std::string& Path) {
  auto Bytes = ReadBytes(Path);
  return {Bytes.begin(), Bytes.end()};
}

pi::Guid BytesOf(const EFI_GUID& Guid) {
  return std::bit_cast<pi::Guid>(Guid);
}

// The lines of one [Section] of an INF or DEC file, comments and blanks dropped.
std::vector<std::string> SectionLines(const std::string& Text, const std::string& Section) {
  std::vector<std::string> Lines;
  std::istringstream In(Text);
  std::string Line;
  bool Inside = false;
  while (std::getline(In, Line)) {
    Line = Line.substr(0, Line.find('#'));
    Line = std::regex_replace(Line, std::regex("^\\s+|\\s+$"), "");
    if (Line.empty())
      continue;
    if (Line.front() == '[') {
      Inside = Line == "[" + Section + "]";
      continue;
    }
    if (Inside)
      Lines.push_back(Line);
  }
  return Lines;
}

// KEY = VALUE pairs of a section.
std::map<std::string, std::string> SectionValues(const std::string& Text,
                                                 const std::string& Section) {
  std::map<std::string, std::string> Values;
  static const std::regex Pair("^([A-Za-z0-9_]+)\\s*=\\s*(.*)$");
  for (const auto& Line : SectionLines(Text, Section)) {
    std::smatch M;
    if (std::regex_match(Line, M, Pair))
      Values[M[1]] = M[2];
  }
  return Values;
}

// A DEC GUID value in C form, "{ 0x..., 0x..., 0x..., { eight bytes } }",
// as the 16 bytes it stands for; nothing when it is not of that form.
std::optional<pi::Guid> ParseCGuid(const std::string& Text) {
  static const std::regex Form(
      "^\\{\\s*(0x[0-9A-Fa-f]{1,8})\\s*,\\s*(0x[0-9A-Fa-f]{1,4})\\s*,\\s*(0x[0-9A-Fa-f]{1,4})\\s*,"
      "\\s*\\{((?:\\s*0x[0-9A-Fa-f]{1,2}\\s*,){7}\\s*0x[0-9A-Fa-f]{1,2})\\s*\\}\\s*\\}$");
  std::smatch M;
  if (!std::regex_match(Text, M, Form))
    return std::nullopt;
  EFI_GUID Guid{};
  Guid.Data1 = static_cast<UINT32>(std::stoul(M[1], nullptr, 16));
  Guid.Data2 = static_cast<UINT16>(std::stoul(M[2], nullptr, 16));
  Guid.Data3 = static_cast<UINT16>(std::stoul(M[3], nullptr, 16));
  std::istringstream Bytes(M[4]);
  std::string Byte;
  for (size_t I = 0; I < 8 && std::getline(Bytes, Byte, ','); ++I)
    Guid.Data4[I] = static_cast<UINT8>(std::stoul(Byte, nullptr, 16));
  return BytesOf(Guid);
}

std::string Dec() {
  return ReadText(kPackageDir + "/SioF81216aPkg.dec");
}
std::string Inf() {
  return ReadText(kPackageDir + "/SioF81216aPei.inf");
}

// The body of the first section of Type in a stand-alone firmware file;
// empty when there is none.
std::span<const uint8_t> SectionBody(std::span<const uint8_t> File, uint8_t Type) {
  auto Sections = pi::ListSections(File);
  EXPECT_TRUE(Sections.Ok()) << (Sections.Ok() ? "" : Sections.Message());
  if (!Sections.Ok())
    return {};
  for (const auto& S : *Sections)
    if (S.Type == Type)
      return File.subspan(S.DataOffset(), S.DataSize());
  ADD_FAILURE() << "no section of type " << static_cast<int>(Type);
  return {};
}

bool Equal(std::span<const uint8_t> A, std::span<const uint8_t> B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end());
}

bool Contains(std::span<const uint8_t> Haystack, std::span<const uint8_t> Needle) {
  return std::search(Haystack.begin(), Haystack.end(), Needle.begin(), Needle.end()) !=
         Haystack.end();
}

TEST(Edk2PackageTest, ParseCGuidReadsTheDecFormOnly) {
  EXPECT_EQ(ParseCGuid("{ 0x2ab86ef5, 0xecb5, 0x4134, { 0xb5, 0x56, 0x38, 0x54, 0xca, 0x1f, 0xe1, "
                       "0xb4 } }"),
            pi::kReadOnlyVariable2PpiGuid);
  EXPECT_FALSE(ParseCGuid("{ 0x2ab86ef5, 0xecb5, 0x4134, { 0xb5, 0x56, 0x38, 0x54 } }"));
  EXPECT_FALSE(ParseCGuid("2AB86EF5-ECB5-4134-B556-3854CA1FE1B4"));
}

// Each GUID the DEC declares: its value there, in the package header's
// initializer macro, in the firmware and in the host's constants.
TEST(Edk2PackageTest, DecGuidsAreTheHeadersFirmwaresAndHosts) {
  const EFI_GUID SetupFromHeader = SIO_F81216A_SETUP_VARIABLE_GUID;
  const EFI_GUID ReadyFromHeader = SIO_F81216A_READY_PPI_GUID;
  struct Row {
    const char* Section;
    const char* Name;
    pi::Guid Header, Firmware, Host;
  } Rows[] = {
      {"Guids", "gSioF81216aSetupVariableGuid", BytesOf(SetupFromHeader),
       BytesOf(SioSetupVendorGuid), pi::kSioSetupVendorGuid},
      {"Ppis", "gSioF81216aReadyPpiGuid", BytesOf(ReadyFromHeader), BytesOf(SioReadyPpiGuid),
       pi::kSioReadyPpiGuid},
  };
  const std::string Text = Dec();
  for (const auto& R : Rows) {
    SCOPED_TRACE(R.Name);
    auto Values = SectionValues(Text, R.Section);
    ASSERT_EQ(Values.count(R.Name), 1u);
    auto FromDec = ParseCGuid(Values[R.Name]);
    ASSERT_TRUE(FromDec) << Values[R.Name];
    EXPECT_EQ(*FromDec, R.Header);
    EXPECT_EQ(*FromDec, R.Firmware);
    EXPECT_EQ(*FromDec, R.Host);
  }
}

TEST(Edk2PackageTest, DecNamesThePackageAndItsIncludes) {
  const std::string Text = Dec();
  auto Defines = SectionValues(Text, "Defines");
  EXPECT_EQ(Defines["PACKAGE_NAME"], "SioF81216aPkg");
  EXPECT_TRUE(pi::ParseGuid(Defines["PACKAGE_GUID"])) << Defines["PACKAGE_GUID"];
  EXPECT_FALSE(Defines["DEC_SPECIFICATION"].empty());
  EXPECT_EQ(SectionLines(Text, "Includes"), std::vector<std::string>{"Include"});
}

// The INF's name, GUID and type are what EDK2 turns into the firmware file's
// header and user-interface section: they must be the project's file's.
TEST(Edk2PackageTest, InfDescribesTheModulesFirmwareFile) {
  auto Defines = SectionValues(Inf(), "Defines");
  EXPECT_FALSE(Defines["INF_VERSION"].empty()) << "EDK2 refuses [Packages] without INF_VERSION";
  EXPECT_EQ(Defines["MODULE_TYPE"], "PEIM");
  EXPECT_EQ(Defines["FILE_GUID"], packaging::kSioModuleFileGuid);

  const auto File = ReadBytes(sio::build::kModuleFile);
  const auto Header = pi::ReadFfsFile(File);
  ASSERT_TRUE(Header.Ok()) << Header.Message();
  EXPECT_EQ(pi::ParseGuid(Defines["FILE_GUID"]), Header->Name);
  EXPECT_EQ(Header->Name, packaging::kSioModuleFileName);
  EXPECT_EQ(Header->Type, pi::file_type::kPeim);

  std::u16string BaseName(Defines["BASE_NAME"].begin(), Defines["BASE_NAME"].end());
  EXPECT_EQ(BaseName, packaging::kSioModuleName);
  EXPECT_TRUE(
      Equal(SectionBody(File, pi::section_type::kUserInterface), pi::UserInterfaceBody(BaseName)));
}

TEST(Edk2PackageTest, InfListsThePackagesBinariesAndWhatItUses) {
  const std::string Text = Inf();
  EXPECT_EQ(SectionLines(Text, "Packages"),
            (std::vector<std::string>{"MdePkg/MdePkg.dec", "SioF81216aPkg/SioF81216aPkg.dec"}));
  EXPECT_EQ(
      SectionLines(Text, "Binaries.IA32"),
      (std::vector<std::string>{"PE32|SioF81216aPei.efi|*", "PEI_DEPEX|SioF81216aPei.depex|*"}));
  EXPECT_EQ(
      SectionLines(Text, "Binaries.X64"),
      (std::vector<std::string>{"PE32|SioF81216aPeiX64.efi|*", "PEI_DEPEX|SioF81216aPei.depex|*"}));
  // Each processor mode's PCD section lists every PCD once.
  for (const char* Section : {"PatchPcd.IA32", "PatchPcd.X64"})
    EXPECT_EQ(SectionLines(Text, Section).size(), 6u) << Section;

  // Every PPI and GUID the INF names is declared by this package's DEC or is
  // MdePkg's read-only variable PPI.
  const std::string DecText = Dec();
  std::set<std::string> Declared = {"gEfiPeiReadOnlyVariable2PpiGuid"};
  for (const char* Section : {"Guids", "Ppis"})
    for (const auto& [Name, Value] : SectionValues(DecText, Section))
      Declared.insert(Name);
  std::set<std::string> Named;
  for (const char* Section : {"Guids", "Ppis"})
    for (const auto& Line : SectionLines(Text, Section))
      Named.insert(Line);
  EXPECT_EQ(Named,
            (std::set<std::string>{"gEfiPeiReadOnlyVariable2PpiGuid", "gSioF81216aReadyPpiGuid",
                                   "gSioF81216aSetupVariableGuid"}));
  for (const auto& Name : Named)
    EXPECT_TRUE(Declared.count(Name)) << Name << " is declared by no package";
}

// The package's images are the build's, byte for byte (the IA-32 one is the
// body of the firmware file's PE32 section), and carry the headers' GUIDs and
// name.
TEST(Edk2PackageTest, PackagedImagesAreTheBuiltImages) {
  const auto Packaged = ReadBytes(kPackageDir + "/SioF81216aPei.efi");
  EXPECT_EQ(Packaged, ReadBytes(sio::build::kImageFile));
  const auto File = ReadBytes(sio::build::kModuleFile);
  EXPECT_TRUE(Equal(SectionBody(File, pi::section_type::kPe32), Packaged));
  const auto PackagedX64 = ReadBytes(kPackageDir + "/SioF81216aPeiX64.efi");
  EXPECT_EQ(PackagedX64, ReadBytes(sio::build::kX64ImageFile));

  const EFI_GUID Setup = SIO_F81216A_SETUP_VARIABLE_GUID;
  const EFI_GUID Ready = SIO_F81216A_READY_PPI_GUID;
  const std::string_view Name = SIO_F81216A_SETUP_VARIABLE_NAME_TEXT;
  std::vector<uint8_t> Utf16;
  for (char C : Name) {
    Utf16.push_back(static_cast<uint8_t>(C));
    Utf16.push_back(0);
  }
  Utf16.insert(Utf16.end(), {0, 0});
  for (const auto* Image : {&Packaged, &PackagedX64}) {
    EXPECT_TRUE(Contains(*Image, BytesOf(Setup)));
    EXPECT_TRUE(Contains(*Image, BytesOf(Ready)));
    EXPECT_TRUE(Contains(*Image, Utf16));
  }
}

// The INF's PEI_DEPEX file is the build's choice and the firmware file's
// dependency section; each choice's file under Depex/ is that choice's code.
TEST(Edk2PackageTest, DepexFilesAreTheExpressions) {
  const auto BuildChoice = packaging::ParseDepexChoice(sio::build::kDepex);
  ASSERT_TRUE(BuildChoice);
  const auto Listed = ReadBytes(kPackageDir + "/SioF81216aPei.depex");
  EXPECT_EQ(Listed, packaging::EncodeDepex(*BuildChoice));
  const auto File = ReadBytes(sio::build::kModuleFile);
  EXPECT_TRUE(Equal(SectionBody(File, pi::section_type::kPeiDepex), Listed));

  for (auto Choice : {packaging::DepexChoice::VariablePpi, packaging::DepexChoice::True,
                      packaging::DepexChoice::False}) {
    const std::string Name(packaging::DepexChoiceName(Choice));
    SCOPED_TRACE(Name);
    const auto Code = ReadBytes(kPackageDir + "/Depex/" + Name + ".depex");
    EXPECT_EQ(Code, packaging::EncodeDepex(Choice));
    EXPECT_TRUE(pi::CheckPeiDepex(Code).Ok());
  }
}

// The host keeps its own copy of the variable's layout and of what the
// settings stage acts on (the board and the `sio var` codec): it must equal
// the package header's, byte for byte and mask for mask.
TEST(Edk2PackageTest, HostSetupVariableCodecIsThePackagesLayout) {
  EXPECT_EQ(chip::kSetupVariableName, std::u16string_view(SioSetupVariableName));
  EXPECT_EQ(chip::kSetupDataSize, sizeof(SIO_F81216A_SETUP_VARIABLE));
  EXPECT_EQ(chip::kSetupDataSize, sizeof(SIO_F81216A_SETUP_VARIABLE));
  EXPECT_EQ(chip::kSetupEntryCount, size_t{SIO_F81216A_SETUP_ENTRY_COUNT});
  EXPECT_EQ(chip::kSetupEntrySize, sizeof(SIO_F81216A_DEVICE_ENTRY));
  EXPECT_EQ(chip::kSetupTrailerSize, size_t{SIO_F81216A_SETUP_WRITER_BYTES});
  EXPECT_EQ(chip::kKindLd8, SIO_F81216A_ENTRY_KIND_LD8);
  EXPECT_EQ(chip::kEntryReach, offsetof(SIO_F81216A_DEVICE_ENTRY, Param) + 3);

  struct Row {
    UINT8 Param2;
    UINT8 Mask;
  } Rows[] = {{0x00, SIO_F81216A_LD8_MODE_MASK_PARAM2_0},
              {0x01, SIO_F81216A_LD8_MODE_MASK_PARAM2_1},
              {0x02, SIO_F81216A_LD8_MODE_MASK_PARAM2_ANY},
              {0xFF, SIO_F81216A_LD8_MODE_MASK_PARAM2_ANY}};
  for (const auto& R : Rows) {
    SCOPED_TRACE(static_cast<int>(R.Param2));
    SIO_F81216A_SETUP_VARIABLE Variable{};
    Variable.Entry[1] = {0x02,
                         0x16,
                         0x00,
                         SIO_F81216A_ENTRY_KIND_LD8,
                         SIO_F81216A_ENTRY_QUALIFIER_LD8,
                         SIO_F81216A_ENTRY_ENABLED,
                         0x1234,
                         {0x5A, 0x00, R.Param2, 0x00}};
    Variable.WriterData[6] = 0x77;
    std::vector<uint8_t> Bytes(sizeof Variable);
    std::memcpy(Bytes.data(), &Variable, sizeof Variable);

    siotool::SetupContent Content;
    Content.Entries[1] = {0x02,
                          0x16,
                          0x00,
                          SIO_F81216A_ENTRY_KIND_LD8,
                          SIO_F81216A_ENTRY_QUALIFIER_LD8,
                          SIO_F81216A_ENTRY_ENABLED,
                          0x1234,
                          {0x5A, 0x00, R.Param2, 0x00}};
    Content.Trailer[6] = 0x77;
    EXPECT_EQ(siotool::EncodeSetupVariable(Content), Bytes);
    EXPECT_TRUE(siotool::SettingsStageActsOn(Bytes, 1));
    EXPECT_FALSE(siotool::SettingsStageActsOn(Bytes, 0));
    const auto Table = siotool::FormatSetupTable(Bytes);
    ASSERT_GT(Table.size(), 2u);
    EXPECT_NE(Table[2].find("0xF0 &= " + sio::Hex(R.Mask, 2)), std::string::npos) << Table[2];
  }
}

// The integrator's guide shows the platform lines exactly as the package's
// files give them.
TEST(Edk2PackageTest, IntegratorsGuideShowsThePlatformLines) {
  const std::string Guide = ReadText(std::string(sio::build::kDocsDir) + "/integrators-guide.md");
  for (const char* Fragment : {"SioF81216aPei.dsc.inc", "SioF81216aPeiX64.dsc.inc",
                               "SioF81216aPei.fdf.inc", "SioF81216aPeiRule.fdf.inc"}) {
    std::istringstream In(ReadText(kPackageDir + "/Platform/" + Fragment));
    std::string Line;
    while (std::getline(In, Line)) {
      if (Line.empty() || Line[0] == '#')
        continue;
      EXPECT_NE(Guide.find(Line), std::string::npos) << Fragment << ": " << Line;
    }
  }
}

// The setup driver's INF names its file, binaries and dependency as the
// build's DXE driver file has them.
TEST(Edk2PackageTest, SetupDriverInfDescribesItsFirmwareFile) {
  const std::string Text = ReadText(kPackageDir + "/SioF81216aSetupDxe.inf");
  auto Defines = SectionValues(Text, "Defines");
  EXPECT_EQ(Defines["MODULE_TYPE"], "DXE_DRIVER");
  EXPECT_EQ(Defines["FILE_GUID"], packaging::kSetupDriverFileGuid);
  EXPECT_EQ(Defines["VERSION_STRING"], SectionValues(Dec(), "Defines")["PACKAGE_VERSION"]);
  EXPECT_EQ(SectionLines(Text, "Binaries.IA32"),
            (std::vector<std::string>{"PE32|SioF81216aSetupDxe.efi|*",
                                      "DXE_DEPEX|SioF81216aSetupDxe.depex|*"}));
  EXPECT_EQ(SectionLines(Text, "Binaries.X64"),
            (std::vector<std::string>{"PE32|SioF81216aSetupDxeX64.efi|*",
                                      "DXE_DEPEX|SioF81216aSetupDxe.depex|*"}));

  const auto Depex = ReadBytes(kPackageDir + "/SioF81216aSetupDxe.depex");
  EXPECT_EQ(Depex, packaging::EncodeSetupDriverDepex());
  const std::pair<const char*, const char*> Images[] = {
      {"SioF81216aSetupDxe.efi", sio::build::kSetupDxeFile},
      {"SioF81216aSetupDxeX64.efi", sio::build::kX64SetupDxeFile}};
  for (const auto& [Name, Built] : Images) {
    SCOPED_TRACE(Name);
    const auto Packaged = ReadBytes(kPackageDir + "/" + Name);
    EXPECT_EQ(Packaged, ReadBytes(Built));
    auto File = packaging::BuildSetupDriverFile(Packaged);
    ASSERT_TRUE(File) << File.Message();
    const auto Header = pi::ReadFfsFile(*File);
    ASSERT_TRUE(Header.Ok());
    EXPECT_EQ(pi::ParseGuid(Defines["FILE_GUID"]), Header->Name);
    EXPECT_EQ(Header->Type, pi::file_type::kDriver);
    EXPECT_TRUE(Equal(SectionBody(*File, pi::section_type::kDxeDepex), Depex));
    std::u16string BaseName(Defines["BASE_NAME"].begin(), Defines["BASE_NAME"].end());
    EXPECT_TRUE(Equal(SectionBody(*File, pi::section_type::kUserInterface),
                      pi::UserInterfaceBody(BaseName)));
  }
  // What the INF names is MdePkg's or this package's.
  std::set<std::string> Named;
  for (const char* Section : {"Guids", "Protocols"})
    for (const auto& Line : SectionLines(Text, Section))
      Named.insert(Line);
  EXPECT_EQ(Named, (std::set<std::string>{
                       "gEfiHiiDatabaseProtocolGuid", "gEfiDevicePathProtocolGuid",
                       "gEfiVariableArchProtocolGuid", "gEfiVariableWriteArchProtocolGuid",
                       "gSioF81216aSetupVariableGuid", "gEfiHiiPlatformSetupFormsetGuid"}));
}

TEST(Edk2PackageTest, IntegratorsGuideShowsTheSetupDriversLines) {
  const std::string Guide = ReadText(std::string(sio::build::kDocsDir) + "/integrators-guide.md");
  for (const char* Fragment : {"SioF81216aSetupDxe.dsc.inc", "SioF81216aSetupDxe.fdf.inc",
                               "SioF81216aSetupDxeRule.fdf.inc"}) {
    std::istringstream In(ReadText(kPackageDir + "/Platform/" + Fragment));
    std::string Line;
    while (std::getline(In, Line)) {
      if (Line.empty() || Line[0] == '#')
        continue;
      EXPECT_NE(Guide.find(Line), std::string::npos) << Fragment << ": " << Line;
    }
  }
}

} // namespace
