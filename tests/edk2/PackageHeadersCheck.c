// SPDX-License-Identifier: BSD-2-Clause-Patent
/* The package headers as EDK2 C code uses them: included after the base
   types, the GUIDs defined from their initializer macros as EDK2's AutoGen
   defines them, the variable written through its structure. Every layout
   fact a setup driver relies on is asserted at compile time. */
#include <stddef.h>

#include "MinimalEdk2Types.h"

#include <Guid/SioF81216aSetupVariable.h>
#include <Ppi/SioF81216aReady.h>

/* C99 has no _Static_assert: a negative array size stops the build. */
#define CHECK(Name, Condition) typedef char Check##Name[(Condition) ? 1 : -1]

CHECK(EntryIs12Bytes, sizeof(SIO_F81216A_DEVICE_ENTRY) == 12);
CHECK(ChipIdHighAt0, offsetof(SIO_F81216A_DEVICE_ENTRY, ChipIdHigh) == 0);
CHECK(ChipIdLowAt1, offsetof(SIO_F81216A_DEVICE_ENTRY, ChipIdLow) == 1);
CHECK(AuxAt2, offsetof(SIO_F81216A_DEVICE_ENTRY, Aux) == 2);
CHECK(KindAt3, offsetof(SIO_F81216A_DEVICE_ENTRY, Kind) == 3);
CHECK(QualifierAt4, offsetof(SIO_F81216A_DEVICE_ENTRY, Qualifier) == 4);
CHECK(EnabledAt5, offsetof(SIO_F81216A_DEVICE_ENTRY, Enabled) == 5);
CHECK(IoBaseAt6, offsetof(SIO_F81216A_DEVICE_ENTRY, IoBase) == 6);
CHECK(ParamAt8, offsetof(SIO_F81216A_DEVICE_ENTRY, Param) == 8);
CHECK(VariableIs67Bytes, sizeof(SIO_F81216A_SETUP_VARIABLE) == 67);
CHECK(VariableSizeMacro, sizeof(SIO_F81216A_SETUP_VARIABLE) == SIO_F81216A_SETUP_VARIABLE_SIZE);
CHECK(EntriesFirst, offsetof(SIO_F81216A_SETUP_VARIABLE, Entry) == 0);
CHECK(WriterDataAt60, offsetof(SIO_F81216A_SETUP_VARIABLE, WriterData) == 60);
CHECK(FiveEntries, SIO_F81216A_SETUP_ENTRY_COUNT == 5);
CHECK(PackedAlignment, offsetof(
                           struct {
                             UINT8 Lead;
                             SIO_F81216A_SETUP_VARIABLE V;
                           },
                           V) == 1);
CHECK(NameIs18Char16, sizeof(SIO_F81216A_SETUP_VARIABLE_NAME) == 18 * sizeof(CHAR16));
CHECK(AttributesNvBs, SIO_F81216A_SETUP_VARIABLE_ATTRIBUTES == 0x3);
CHECK(NoRuntimeAccess, (SIO_F81216A_SETUP_VARIABLE_ATTRIBUTES & EFI_VARIABLE_RUNTIME_ACCESS) == 0);
CHECK(MasksOnlyClear, (SIO_F81216A_LD8_MODE_MASK_PARAM2_0 | 0x04) == 0xFF &&
                          (SIO_F81216A_LD8_MODE_MASK_PARAM2_1 | 0x02) == 0xFF &&
                          (SIO_F81216A_LD8_MODE_MASK_PARAM2_ANY | 0x06) == 0xFF);

/* What EDK2's AutoGen.c emits for each GUID the DEC declares. */
EFI_GUID gSioF81216aSetupVariableGuid = SIO_F81216A_SETUP_VARIABLE_GUID;
EFI_GUID gSioF81216aReadyPpiGuid = SIO_F81216A_READY_PPI_GUID;

/* A setup driver's default: entry 0 enables logical device 8. */
static const SIO_F81216A_SETUP_VARIABLE mDefaults = {{{0x02,
                                                       0x16,
                                                       0x00,
                                                       SIO_F81216A_ENTRY_KIND_LD8,
                                                       SIO_F81216A_ENTRY_QUALIFIER_LD8,
                                                       SIO_F81216A_ENTRY_ENABLED,
                                                       0x0000,
                                                       {0x5A, 0x00, 0x00, 0x00}}},
                                                     {0}};

const CHAR16* SioSetupName(void) {
  return SIO_F81216A_SETUP_VARIABLE_NAME;
}
const SIO_F81216A_SETUP_VARIABLE* SioSetupDefaults(void) {
  return &mDefaults;
}
UINT32 SioSetupAttributes(void) {
  return SIO_F81216A_SETUP_VARIABLE_ATTRIBUTES;
}
