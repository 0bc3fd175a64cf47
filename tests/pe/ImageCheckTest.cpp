// SPDX-License-Identifier: BSD-2-Clause-Patent
// The image check on the image as built, and on copies broken the ways a
// build or a flash tool can break it.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "common/BuildPaths.h"
#include "firmware/SioImageLayout.h"
#include "pe/ImageCheck.h"
#include "tests/support/ImageFixture.h"

namespace {

using test::BuiltImage;
using test::kImageBase;
using test::Offsets;
using test::Poke;

const pe::CheckOutcome* Find(const pe::ImageCheckReport& R, const std::string& Name) {
  for (const auto& C : R.Checks) {
    if (C.Name == Name)
      return &C;
  }
  return nullptr;
}

TEST(ImageCheck, TheBuiltImagePassesEveryCheck) {
  pe::ImageCheckReport R = pe::CheckImageFile(sio::build::kImageFile, kImageBase);
  EXPECT_TRUE(R.Passed()) << pe::FormatImageCheck(R);
  for (const char* Name : {"format", "magic", "machine", "subsystem", "entry point", "image base",
                           "base relocations", "no writable data"}) {
    const pe::CheckOutcome* C = Find(R, Name);
    ASSERT_NE(C, nullptr) << Name;
    EXPECT_TRUE(C->Passed) << Name << ": " << C->Message;
  }
  EXPECT_EQ(R.FileSize, BuiltImage().size());
  EXPECT_GT(R.SizeOfImage, 0u);
  bool HasCode = false;
  for (const auto& S : R.Sections)
    HasCode |= S.Flags == "r-x" && S.VirtualSize > 0;
  EXPECT_TRUE(HasCode) << pe::FormatImageCheck(R);
}

// The file carries no symbols, so the check can only place the entry point in
// code; the linker map says which function is there (at the link's address:
// the image's RVAs are the map's less the DOS stub the build dropped).
TEST(ImageCheck, TheEntryPointIsSioEntryPoint) {
  std::ifstream Map(sio::build::kImageMap);
  ASSERT_TRUE(Map) << "cannot read " << sio::build::kImageMap;
  std::optional<uint64_t> Address;
  for (std::string Line; std::getline(Map, Line);) {
    std::istringstream Fields(Line);
    std::string SectionOffset, Symbol, RvaPlusBase;
    if (Fields >> SectionOffset >> Symbol >> RvaPlusBase && Symbol == "_SioEntryPoint") {
      Address = std::stoull(RvaPlusBase, nullptr, 16);
    }
  }
  ASSERT_TRUE(Address) << "no _SioEntryPoint in " << sio::build::kImageMap;
  EXPECT_EQ(*Address,
            uint64_t(kImageBase) + test::EntryRva(BuiltImage()) + sio::image::kDroppedStubBytes);
}

TEST(ImageCheck, RejectsBrokenImages) {
  const auto O = Offsets(BuiltImage());
  using Patch = std::function<void(std::vector<uint8_t>&)>;
  struct Case {
    const char* Name;
    Patch Break;
    const char* FailedCheck;
    uint32_t FlashAddress = kImageBase;
  } Cases[] = {
      {"empty file", [](auto& I) { I.clear(); }, "format"},
      {"cut inside the headers", [](auto& I) { I.resize(200); }, "format"},
      {"cut inside the sections", [](auto& I) { I.resize(I.size() / 2); }, "format"},
      {"machine x64", [&](auto& I) { Poke<uint16_t>(I, O.Machine(), 0x8664); }, "machine"},
      {"subsystem EFI application", [&](auto& I) { Poke<uint16_t>(I, O.Subsystem(), 10); },
       "subsystem"},
      {"no entry point", [&](auto& I) { Poke<uint32_t>(I, O.EntryRva(), 0); }, "entry point"},
      {"entry point past the image", [&](auto& I) { Poke<uint32_t>(I, O.EntryRva(), 0x7FFF0); },
       "entry point"},
      {"entry point in the relocations",
       [&](auto& I) {
         uint32_t RelocRva;
         std::memcpy(&RelocRva, I.data() + O.Directory(5), 4);
         Poke<uint32_t>(I, O.EntryRva(), RelocRva);
       },
       "entry point"},
      {"linked elsewhere", [](auto&) {}, "image base", 0xFFF00000},
      {"no relocation directory", [&](auto& I) { Poke<uint64_t>(I, O.Directory(5), 0); },
       "base relocations"},
      {"relocation block of bad size",
       [&](auto& I) {
         uint32_t RelocRva;
         std::memcpy(&RelocRva, I.data() + O.Directory(5), 4);
         const pe::PeFile File = pe::ReadPeFile(I).Value();
         const auto* S = File.SectionAt(RelocRva);
         Poke<uint32_t>(I, S->RawOffset + (RelocRva - S->VirtualAddress) + 4, 0xFFF0);
       },
       "base relocations"},
      {"code section writable",
       [&](auto& I) {
         uint32_t Flags;
         std::memcpy(&Flags, I.data() + O.SectionCharacteristics(0), 4);
         Poke<uint32_t>(I, O.SectionCharacteristics(0), Flags | pe::kSectionWrite);
       },
       "no writable data"},
  };
  for (const auto& C : Cases) {
    std::vector<uint8_t> Image = BuiltImage();
    C.Break(Image);
    pe::ImageCheckReport R = pe::CheckImage(Image, C.FlashAddress);
    EXPECT_FALSE(R.Passed()) << C.Name << "\n" << pe::FormatImageCheck(R);
    const pe::CheckOutcome* Failed = Find(R, C.FailedCheck);
    ASSERT_NE(Failed, nullptr) << C.Name << "\n" << pe::FormatImageCheck(R);
    EXPECT_FALSE(Failed->Passed) << C.Name << "\n" << pe::FormatImageCheck(R);
  }
}

// Every prefix of the image, ending right before an inaccessible page: the
// check fails each one without reading past its end.
TEST(ImageCheck, EveryTruncationFailsWithoutReadingPastTheEnd) {
  const auto& Image = BuiltImage();
  test::GuardedBytes Guarded(Image.size());
  for (size_t Size = 0; Size < Image.size(); ++Size) {
    auto Bytes = Guarded.Place(std::span<const uint8_t>(Image.data(), Size));
    pe::ImageCheckReport R = pe::CheckImage(Bytes, kImageBase);
    EXPECT_FALSE(R.Passed()) << "cut to " << Size << " bytes\n" << pe::FormatImageCheck(R);
  }
}

TEST(ImageCheck, AnUnreadableFileIsAFailedCheck) {
  pe::ImageCheckReport R = pe::CheckImageFile("/nonexistent/SioF81216aPei.efi", kImageBase);
  EXPECT_FALSE(R.Passed());
  ASSERT_EQ(R.Checks.size(), 1u);
  EXPECT_EQ(R.Checks[0].Name, "file");
}

} // namespace

namespace {

// Section names come from the file: the report prints their control
// characters and stray bytes as \xNN, so no escape sequence reaches the
// terminal, and keeps printable text and well-formed UTF-8 as it is.
TEST(ImageCheck, SectionNamesFromTheFileArePrintedSafely) {
  struct Case {
    const char Name[8];
    const char* Shown;
  } Cases[] = {
      {{'\x1B', '[', '2', 'J', '.', 't', 'x', 't'}, "\\x1B[2J.txt"},
      {{'.', 'a', '\x07', '\x7F', '\x9B', 'b', 0, 0}, ".a\\x07\\x7F\\x9Bb"},
      {{'\xC2', '\x9B', '\xC3', '\xA9', 0, 0, 0, 0}, "\\xC2\\x9B\xC3\xA9"},
      {{'.', 'r', 'd', 'a', 't', 'a', 0, 0}, ".rdata"},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Shown);
    std::vector<uint8_t> Image = test::BuiltImage();
    const auto O = test::Offsets(Image);
    std::memcpy(Image.data() + O.SectionTable, C.Name, 8);
    const pe::ImageCheckReport R = pe::CheckImage(Image, sio::build::kImageBase);
    const std::string Text = pe::FormatImageCheck(R);
    EXPECT_NE(Text.find(std::string("  ") + C.Shown + " "), std::string::npos) << Text;
    for (char Byte : Text)
      ASSERT_TRUE(static_cast<uint8_t>(Byte) >= 0x20 || Byte == '\n') << Text;
    EXPECT_EQ(Text.find('\x9B'), std::string::npos);
  }
}

} // namespace
