// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "hii/SetupPage.h"

#include "chip/SetupLayout.h"
#include "pi/KnownGuids.h"
#include "pi/VariableStoreRecords.h"

namespace hii {
namespace {

// What Param[2] of an applied entry does to register 0xF0 (the module's
// masks: firmware/setup/SioApplySetup.cpp).
constexpr OneOfOption kRegisterF0Options[] = {
    {"clear bit 2 (AND 0xFB)", 0},
    {"clear bit 1 (AND 0xFD)", 1},
    {"clear bits 1 and 2 (AND 0xF9)", 2},
};

// Entry 0 of the variable. Each default leaves the chip as it is: the entry
// is not enabled, so the module applies none of it.
constexpr Question kQuestions[] = {
    {.Kind = QuestionKind::Checkbox,
     .Id = 0x1001,
     .Offset = chip::kEntryEnabled,
     .Name = "Entry[0].Enabled",
     .Prompt = "Logical device 8",
     .Help = "Activates logical device 8 and programs registers 0xF1 and 0xF0 below.",
     .Default = 0},
    {.Kind = QuestionKind::Numeric,
     .Id = 0x1002,
     .Offset = chip::kEntryParam0,
     .Name = "Entry[0].Param[0]",
     .Prompt = "Register 0xF1",
     .Help = "The value written to register 0xF1 of logical device 8.",
     .Default = 0,
     .Minimum = 0x00,
     .Maximum = 0xFF,
     .Step = 1,
     .Hex = true},
    {.Kind = QuestionKind::OneOf,
     .Id = 0x1003,
     .Offset = chip::kEntryParam2,
     .Name = "Entry[0].Param[2]",
     .Prompt = "Register 0xF0",
     .Help = "The bits of register 0xF0 of logical device 8 that are cleared.",
     .Default = 0,
     .Options = kRegisterF0Options},
};

constexpr SetupPage kPage = {
    .FormSetGuid = pi::kSioSetupFormSetGuid,
    .ClassGuid = pi::kHiiPlatformSetupFormSetGuid,
    .Title = "F81216a Super I/O",
    .Help = "Settings of the F81216a Super I/O. They take effect at the next boot, when the "
            "chip is present.",
    .FormId = 1,
    .VarStoreId = 1,
    .VariableName = "SioF81216aSetup00",
    .VariableGuid = pi::kSioSetupVendorGuid,
    .VariableAttributes = pi::kVariableNonVolatile | pi::kVariableBootServiceAccess,
    .VariableSize = chip::kSetupDataSize,
    .Language = "en-US",
    .LanguageName = "English",
    .Questions = kQuestions,
};

} // namespace

const SetupPage& ChipSetupPage() {
  return kPage;
}

} // namespace hii
