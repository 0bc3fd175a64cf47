// SPDX-License-Identifier: BSD-2-Clause-Patent
// The emulator itself, on the IA-32 image and on the X64 one: figures of a
// normal pass, port instructions of every form, and images that misbehave
// ending in a one-line report instead of a hang or a crash.
#include <gtest/gtest.h>

#include <cstdlib>

#include "board/ScenarioCatalog.h"
#include "common/Hex.h"
#include "emulator/ChildProcess.h"
#include "emulator/ImageEngine.h"
#include "pi/Status.h"
#include "tests/support/ImageFixture.h"
#include "tests/support/TraceBuilder.h"

namespace {

using emulator::ProcessorMode;
using pi::EventKind;

std::string Hex8(uint64_t Value) {
  return sio::Hex(Value, 8);
}

// Each test runs on the image built for the mode, or on code of that mode
// written over its entry point.
class ImageEngine : public ::testing::TestWithParam<ProcessorMode> {
protected:
  ProcessorMode Mode() const { return GetParam(); }
  bool X64() const { return Mode() == ProcessorMode::X64; }
  const std::vector<uint8_t>& Image() const { return test::BuiltImage(Mode()); }
  std::vector<uint8_t> WithEntryCode(std::vector<uint8_t> Code) const {
    return test::WithEntryCode(std::move(Code), Mode());
  }
};

INSTANTIATE_TEST_SUITE_P(BothImages, ImageEngine, ::testing::ValuesIn(test::kBuiltModes),
                         test::ModeTestName);

TEST_P(ImageEngine, DefaultPassFiguresAreSensible) {
  emulator::ImageRunOptions Options;
  emulator::ImageRunReport R = emulator::RunImagePass(Image(), board::DefaultScenario(), Options);
  ASSERT_TRUE(R.Completed) << R.Fault;
  EXPECT_EQ(R.Mode, Mode());
  EXPECT_EQ(R.Result.Status, pi::kEfiSuccess);
  EXPECT_GT(R.Instructions, 100u);
  EXPECT_LT(R.Instructions, Options.MaxInstructions);
  // The return address and the locals of the pass: some stack, far from all of it.
  EXPECT_GT(R.StackHighWater, 16u);
  EXPECT_LT(R.StackHighWater, 4096u);
  // The same pass with a bound just below its length is a runaway.
  Options.MaxInstructions = R.Instructions - 1;
  emulator::ImageRunReport Short =
      emulator::RunImagePass(Image(), board::DefaultScenario(), Options);
  EXPECT_FALSE(Short.Completed);
  EXPECT_NE(Short.Fault.find("runaway"), std::string::npos) << Short.Fault;
}

// The same bytes in either mode: the port instructions encode alike.
TEST_P(ImageEngine, PortInstructionsOfEveryFormReachTheBus) {
  // clang-format off
  std::vector<uint8_t> Code = {
      0xB0, 0x12,                   // mov al, 0x12
      0xE6, 0x80,                   // out 0x80, al
      0x66, 0xB8, 0x34, 0x12,       // mov ax, 0x1234
      0x66, 0xE7, 0x80,             // out 0x80, ax
      0xB8, 0x78, 0x56, 0x34, 0x12, // mov eax, 0x12345678
      0xE7, 0x80,                   // out 0x80, eax
      0x66, 0xBA, 0x00, 0x12,       // mov dx, 0x1200
      0xEE,                         // out dx, al
      0x66, 0xEF,                   // out dx, ax
      0xEF,                         // out dx, eax
      0xE4, 0x71,                   // in al, 0x71
      0x66, 0xE5, 0x72,             // in ax, 0x72
      0xEC,                         // in al, dx
      0x66, 0xED,                   // in ax, dx
      0xE5, 0x74,                   // in eax, 0x74
      0xED,                         // in eax, dx
      0xC3,                         // ret
  };
  // clang-format on
  // A 64-bit status never has bit 31 alone set: the X64 pass returns 0 instead.
  if (X64())
    Code.insert(Code.end() - 1, {0x31, 0xC0}); // xor eax, eax
  board::Scenario NoChip;
  NoChip.ChipPort = std::nullopt;
  emulator::ImageRunReport R = emulator::RunImagePass(WithEntryCode(Code), NoChip);
  ASSERT_TRUE(R.Completed) << R.Fault;
  const pi::Trace Expected = {
      {EventKind::IoWrite, 1, 0x80, 0x12, 0, {}},
      {EventKind::IoWrite, 2, 0x80, 0x1234, 0, {}},
      {EventKind::IoWrite, 4, 0x80, 0x12345678, 0, {}},
      {EventKind::IoWrite, 1, 0x1200, 0x78, 0, {}},
      {EventKind::IoWrite, 2, 0x1200, 0x5678, 0, {}},
      {EventKind::IoWrite, 4, 0x1200, 0x12345678, 0, {}},
      {EventKind::IoRead, 1, 0x71, 0xFF, 0, {}},
      {EventKind::IoRead, 2, 0x72, 0xFFFF, 0, {}},
      {EventKind::IoRead, 1, 0x1200, 0xFF, 0, {}},
      {EventKind::IoRead, 2, 0x1200, 0xFFFF, 0, {}},
      {EventKind::IoRead, 4, 0x74, 0xFFFFFFFF, 0, {}},
      {EventKind::IoRead, 4, 0x1200, 0xFFFFFFFF, 0, {}},
  };
  EXPECT_EQ(R.Result.Events, Expected) << test::Dump(R.Result.Events);
  EXPECT_EQ(R.Result.Status, X64() ? pi::kEfiSuccess : 0xFFFFFFFFu) << "the last read lands in EAX";
}

struct Misbehaviour {
  const char* Name;
  std::vector<uint8_t> Code;
  std::string Fault; // expected in the report
};

// The misbehaviours whose code differs between the modes, or that only one
// mode has.
std::vector<Misbehaviour> ModeMisbehaviours(ProcessorMode Mode) {
  if (Mode == ProcessorMode::Ia32) {
    return {
        {"calls a service the board lacks",
         {0x8B, 0x44, 0x24, 0x08, 0x8B, 0x00, 0xFF, 0x50, 0x1C}, // PeiServices->ReInstallPpi()
         "call to PEI service ReInstallPpi"},
        {"calls into the trap page between services",
         {0xB8, 0x04, 0x10, 0x00, 0x00, 0xFF, 0xD0}, // mov eax, 0x1004; call eax
         "unknown service trap 0x00001004"},
        {"reads unmapped memory",
         {0xA1, 0x00, 0x00, 0x10, 0x00}, // mov eax, [0x00100000]
         "read from unmapped memory at 0x00100000"},
        {"writes the services table",
         {0x8B, 0x44, 0x24, 0x08, 0x8B, 0x00, 0x89, 0x00}, // mov eax, [PeiServices]; mov [eax], eax
         "write to PEI Foundation memory"},
        {"clobbers EBX", {0x31, 0xDB, 0xC3}, "returned with EBX 0x00000000, expected 0xB0B1B2B3"},
        {"clobbers ESI", {0x31, 0xF6, 0xC3}, "returned with ESI 0x00000000"}, // xor esi, esi; ret
        {"clobbers EDI", {0x31, 0xFF, 0xC3}, "returned with EDI 0x00000000"}, // xor edi, edi; ret
        {"clobbers EBP", {0x31, 0xED, 0xC3}, "returned with EBP 0x00000000"}, // xor ebp, ebp; ret
    };
  }
  return {
      {"calls a service the board lacks",
       // sub rsp, 0x28; mov rax, [rdx]; call [rax + 0x20] (ReInstallPpi)
       {0x48, 0x83, 0xEC, 0x28, 0x48, 0x8B, 0x02, 0xFF, 0x50, 0x20},
       "call to PEI service ReInstallPpi"},
      {"calls a service with the stack misaligned",
       // mov rax, [rdx]; call [rax + 0x18] (InstallPpi), RSP 8 bytes off
       {0x48, 0x8B, 0x02, 0xFF, 0x50, 0x18},
       "not 16-byte aligned"},
      {"calls into the trap page between services",
       // mov eax, 0x1004; sub rsp, 0x28; call rax
       {0xB8, 0x04, 0x10, 0x00, 0x00, 0x48, 0x83, 0xEC, 0x28, 0xFF, 0xD0},
       "unknown service trap 0x00001004"},
      {"reads unmapped memory",
       {0x8B, 0x04, 0x25, 0x00, 0x00, 0x10, 0x00}, // mov eax, [0x00100000]
       "read from unmapped memory at 0x00100000"},
      {"writes the services table",
       {0x48, 0x8B, 0x02, 0x89, 0x00}, // mov rax, [PeiServices]; mov [rax], eax
       "write to PEI Foundation memory"},
      {"returns an IA-32 status",
       {0xB8, 0x03, 0x00, 0x00, 0x80, 0xC3}, // mov eax, 0x80000003; ret
       "returned RAX 0x80000003, which is no 64-bit status"},
      {"clobbers RBX",
       {0x31, 0xDB, 0xC3},
       "returned with RBX 0x00000000, expected 0xB4B5B6B7B0B1B2B3"},
      {"restores only EBX",
       {0x89, 0xDB, 0xC3}, // mov ebx, ebx (clears the upper half); ret
       "returned with RBX 0xB0B1B2B3, expected 0xB4B5B6B7B0B1B2B3"},
      {"clobbers RBP", {0x31, 0xED, 0xC3}, "returned with RBP 0x00000000"}, // xor ebp, ebp; ret
      {"clobbers RDI", {0x31, 0xFF, 0xC3}, "returned with RDI 0x00000000"}, // xor edi, edi; ret
      {"clobbers RSI", {0x31, 0xF6, 0xC3}, "returned with RSI 0x00000000"}, // xor esi, esi; ret
      {"clobbers R12", {0x45, 0x31, 0xE4, 0xC3}, "returned with R12 0x00000000"}, // xor r12d, r12d
      {"clobbers R13", {0x45, 0x31, 0xED, 0xC3}, "returned with R13 0x00000000"}, // xor r13d, r13d
      {"clobbers R14", {0x45, 0x31, 0xF6, 0xC3}, "returned with R14 0x00000000"}, // xor r14d, r14d
      {"clobbers R15", {0x45, 0x31, 0xFF, 0xC3}, "returned with R15 0x00000000"}, // xor r15d, r15d
      {"clobbers XMM6",
       {0x0F, 0x57, 0xF6, 0xC3}, // xorps xmm6, xmm6; ret
       "returned with XMM6 0x0000000000000000_0000000000000000, expected "
       "0xC0C1C2C3C4C5C6C0_A0A1A2A3A4A5A6A0"},
      {"clobbers XMM15",
       {0x45, 0x0F, 0x57, 0xFF, 0xC3}, // xorps xmm15, xmm15; ret
       "returned with XMM15 0x0000000000000000_0000000000000000"},
      // A callee that keeps only the low half: movq clears the high one.
      {"restores only the low half of XMM6",
       {0xF3, 0x0F, 0x7E, 0xF6, 0xC3}, // movq xmm6, xmm6; ret
       "returned with XMM6 0x0000000000000000_A0A1A2A3A4A5A6A0, expected "
       "0xC0C1C2C3C4C5C6C0_A0A1A2A3A4A5A6A0"},
      {"restores only the low half of XMM15",
       {0xF3, 0x45, 0x0F, 0x7E, 0xFF, 0xC3}, // movq xmm15, xmm15; ret
       "returned with XMM15 0x0000000000000000_A0A1A2A3A4A5A6A9"},
  };
}

TEST_P(ImageEngine, MisbehavingImagesEndInAReport) {
  const uint32_t Entry = test::kImageBase + test::EntryRva(Image());
  // The same bytes in either mode.
  std::vector<Misbehaviour> Cases = {
      {"writes to itself",
       {0xE8, 0, 0, 0, 0, 0x58, 0x89, 0x00}, // call $+5; pop eax/rax; mov [eax/rax], eax
       "write to image at " + Hex8(Entry + 5)},
      {"runs away", {0xEB, 0xFE}, "runaway: 20000 instructions"}, // jmp $
      {"follows a NULL pointer",
       {0x31, 0xC0, 0x8B, 0x00}, // xor eax, eax; mov eax, [eax/rax]
       "read from page 0 at 0x00000000"},
      {"overflows its stack",
       {0x50, 0xEB, 0xFD}, // push eax/rax; jmp $-1
       "stack overflow: write to the stack guard page"},
      {"jumps to NULL",
       {0x31, 0xC0, 0xFF, 0xE0}, // xor eax, eax; jmp eax/rax
       "execution in page 0"},
      {"executes its stack",
       {0xFF, 0xE4}, // jmp esp/rsp
       "execution in stack"},
      {"breaks into a debugger", {0xCC}, "interrupt 3"},
      {"returns with the arguments popped",
       {0xC2, 0x08, 0x00}, // ret 8
       "stack unbalanced"},
  };
  for (auto& C : ModeMisbehaviours(Mode()))
    Cases.push_back(std::move(C));
  emulator::ImageRunOptions Options;
  Options.MaxInstructions = 20000;
  Options.StackSize = 0x1000;
  for (const auto& C : Cases) {
    emulator::ImageRunReport R =
        emulator::RunImagePass(WithEntryCode(C.Code), board::DefaultScenario(), Options);
    EXPECT_FALSE(R.Completed) << C.Name;
    EXPECT_EQ(R.Result.Status, emulator::kAbortedStatus) << C.Name;
    EXPECT_NE(R.Fault.find(C.Fault), std::string::npos) << C.Name << ": " << R.Fault;
    EXPECT_EQ(R.Fault.find('\n'), std::string::npos) << C.Name << ": one line";
  }
}

// A callee may use the callee-saved registers as long as it puts them back.
TEST_P(ImageEngine, CalleeSavedRegistersSavedAndRestoredAreAccepted) {
  // clang-format off
  std::vector<uint8_t> Code = {
      0x53, 0x56, 0x57, 0x55,       // push ebx/rbx; push esi/rsi; push edi/rdi; push ebp/rbp
      0x31, 0xDB, 0x31, 0xF6,       // xor ebx, ebx; xor esi, esi
      0x31, 0xFF, 0x31, 0xED,       // xor edi, edi; xor ebp, ebp
      0x5D, 0x5F, 0x5E, 0x5B,       // pop ebp/rbp; pop edi/rdi; pop esi/rsi; pop ebx/rbx
      0x31, 0xC0, 0xC3,             // xor eax, eax; ret
  };
  if (X64()) {
    // R12 to R15 as well, around the rest.
    Code.insert(Code.begin(), {0x41, 0x54, 0x41, 0x55, 0x41, 0x56, 0x41, 0x57, // push r12..r15
                               0x45, 0x31, 0xE4, 0x45, 0x31, 0xED,             // xor r12d; r13d
                               0x45, 0x31, 0xF6, 0x45, 0x31, 0xFF});           // xor r14d; r15d
    Code.insert(Code.end() - 3, {0x41, 0x5F, 0x41, 0x5E, 0x41, 0x5D, 0x41, 0x5C}); // pop r15..r12
  }
  // clang-format on
  emulator::ImageRunReport R =
      emulator::RunImagePass(WithEntryCode(Code), board::DefaultScenario());
  EXPECT_TRUE(R.Completed) << R.Fault;
  EXPECT_EQ(R.Result.Status, pi::kEfiSuccess);
}

// A 64-bit status comes back to the board as the same status.
TEST_P(ImageEngine, ErrorStatusReturnedInTheModesWidthReachesTheBoard) {
  std::vector<uint8_t> Code = {0xB8, 0x03, 0x00, 0x00, 0x80, 0xC3}; // mov eax, 0x80000003; ret
  if (X64()) // mov rax, 0x8000000000000003; ret
    Code = {0x48, 0xB8, 0x03, 0, 0, 0, 0, 0, 0, 0x80, 0xC3};
  emulator::ImageRunReport R =
      emulator::RunImagePass(WithEntryCode(Code), board::DefaultScenario());
  ASSERT_TRUE(R.Completed) << R.Fault;
  EXPECT_EQ(R.Result.Status, pi::kEfiUnsupported);
}

// The module asks GetVariable for the data only: Attributes is NULL.
TEST_P(ImageEngine, ImageReadsTheSetupVariableWithoutAttributes) {
  emulator::ImageRunReport R = emulator::RunImagePass(Image(), board::DefaultScenario());
  ASSERT_TRUE(R.Completed) << R.Fault;
  int Calls = 0;
  for (const auto& E : R.Result.Events) {
    if (E.Kind != EventKind::GetVariable)
      continue;
    ++Calls;
    EXPECT_FALSE(E.Call.AttributesWanted) << pi::FormatEvent(E);
    EXPECT_EQ(pi::FormatEvent(E).find("attributes"), std::string::npos);
  }
  EXPECT_EQ(Calls, 1);
}

// Unicorn aborts the process on some instruction streams; the rehearsal in a
// child turns that into a report.
TEST(ChildProcess, WorkThatAbortsAChildIsReportedNotFatal) {
  auto Aborted = emulator::RunInChild([] { std::abort(); });
  ASSERT_FALSE(Aborted.Ok());
  EXPECT_EQ(Aborted.Kind(), sio::ErrorKind::Failed);
  EXPECT_NE(Aborted.Message().find("signal 6"), std::string::npos) << Aborted.Message();
  auto Exited = emulator::RunInChild([] { std::_Exit(3); });
  ASSERT_FALSE(Exited.Ok());
  EXPECT_EQ(Exited.Kind(), sio::ErrorKind::Failed);
  EXPECT_NE(Exited.Message().find("status 3"), std::string::npos) << Exited.Message();
  EXPECT_TRUE(emulator::RunInChild([] {}).Ok());
}

TEST_P(ImageEngine, ImagesThatCannotBeLoadedAreReported) {
  const std::vector<uint8_t>& Built = Image();
  struct Case {
    const char* Name;
    std::vector<uint8_t> Image;
    std::optional<uint32_t> Address;
    const char* Fault;
  } Cases[] = {
      {"empty file", {}, std::nullopt, "bad image"},
      {"cut in half", std::vector<uint8_t>(Built.begin(), Built.begin() + Built.size() / 2),
       std::nullopt, "bad image"},
      {"address not section aligned", Built, 0x00200002u, "not aligned to the image's"},
      {"address over the emulator's own pages", Built, 0x00010000u, "does not fit"},
      {"address over page 0", Built, 0x00000000u, "does not fit"},
      {"no relocations, loaded elsewhere",
       [&] {
         auto I = Built;
         test::Poke<uint64_t>(I, test::Offsets(I).Directory(5), 0);
         return I;
       }(),
       0x00200000u, "bad image: base relocations: no base relocation directory"},
  };
  for (const auto& C : Cases) {
    emulator::ImageRunReport R =
        emulator::RunImagePass(C.Image, board::DefaultScenario(), {C.Address});
    EXPECT_FALSE(R.Completed) << C.Name;
    EXPECT_EQ(R.Result.Status, emulator::kAbortedStatus) << C.Name;
    EXPECT_NE(R.Fault.find(C.Fault), std::string::npos) << C.Name << ": " << R.Fault;
    EXPECT_TRUE(R.Result.Events.empty()) << C.Name;
  }
}

} // namespace
