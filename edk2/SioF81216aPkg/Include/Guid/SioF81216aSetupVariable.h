/** @file
  SPDX-License-Identifier: BSD-2-Clause-Patent
  The setup variable "SioF81216aSetup00" the SioF81216aPei module reads when
  it brings up the F81216a: its name, vendor GUID, layout and the values the
  module acts on. A setup driver writes it; the module reads it through
  EFI_PEI_READ_ONLY_VARIABLE2_PPI.

  Include after PiPei.h or Uefi.h (EFI_GUID, UINT8, UINT16). Plain C99; also
  valid C++.
**/

#ifndef SIO_F81216A_SETUP_VARIABLE_H_
#define SIO_F81216A_SETUP_VARIABLE_H_

/// {CD2E75EC-4162-411D-B7F1-E1D882E697AB}
#define SIO_F81216A_SETUP_VARIABLE_GUID \
  { 0xCD2E75EC, 0x4162, 0x411D, { 0xB7, 0xF1, 0xE1, 0xD8, 0x82, 0xE6, 0x97, 0xAB } }

/// The variable's name as narrow text; SIO_F81216A_SETUP_VARIABLE_NAME is
/// the CHAR16 string EDK2 code passes to GetVariable/SetVariable.
#define SIO_F81216A_SETUP_VARIABLE_NAME_TEXT  "SioF81216aSetup00"
#define SIO_F81216A_WIDE_TEXT_(Text)          L ## Text
#define SIO_F81216A_WIDE_TEXT(Text)           SIO_F81216A_WIDE_TEXT_ (Text)
#define SIO_F81216A_SETUP_VARIABLE_NAME \
  SIO_F81216A_WIDE_TEXT (SIO_F81216A_SETUP_VARIABLE_NAME_TEXT)

/// Boot-service access only, kept across resets. Give it no run-time access:
/// the operating system could then rewrite the chip's settings.
#define SIO_F81216A_SETUP_VARIABLE_ATTRIBUTES \
  (EFI_VARIABLE_NON_VOLATILE | EFI_VARIABLE_BOOTSERVICE_ACCESS)

#define SIO_F81216A_SETUP_ENTRY_COUNT    5
#define SIO_F81216A_SETUP_WRITER_BYTES   7
/// The whole variable: five entries and the writer's seven bytes.
#define SIO_F81216A_SETUP_VARIABLE_SIZE  67

///
/// An entry the module applies: Kind SIO_F81216A_ENTRY_KIND_LD8, Qualifier
/// SIO_F81216A_ENTRY_QUALIFIER_LD8 and Enabled SIO_F81216A_ENTRY_ENABLED.
/// Every other entry is passed over, as is an entry the variable's size does
/// not reach up to and including Param[2].
///
#define SIO_F81216A_ENTRY_KIND_LD8       0x12
#define SIO_F81216A_ENTRY_QUALIFIER_LD8  0x00
#define SIO_F81216A_ENTRY_ENABLED        0x01
/// Kind of the entry naming the configuration port (the module's own table).
#define SIO_F81216A_ENTRY_KIND_CONFIG    0x7F

///
/// What an applied entry does to logical device 8: it is activated, Param[0]
/// goes to register 0xF1, and register 0xF0 is ANDed with the mask Param[2]
/// picks (bits are only ever cleared).
///
#define SIO_F81216A_LD8_MODE_MASK_PARAM2_0    0xFB ///< Param[2] 0x00: clears bit 2
#define SIO_F81216A_LD8_MODE_MASK_PARAM2_1    0xFD ///< Param[2] 0x01: clears bit 1
#define SIO_F81216A_LD8_MODE_MASK_PARAM2_ANY  0xF9 ///< any other value: clears bits 1 and 2

#pragma pack(push, 1)

///
/// One device record: 12 bytes, multi-byte fields little-endian.
///
typedef struct {
  UINT8     ChipIdHigh; ///< register 0x20 must read this back
  UINT8     ChipIdLow;  ///< register 0x21 must read this back; 0: not compared
  UINT8     Aux;
  UINT8     Kind;
  UINT8     Qualifier;
  UINT8     Enabled;
  UINT16    IoBase;     ///< kind 0x7F: index port to probe first (0: none)
  UINT8     Param[4];   ///< LD8: Param[0] to register 0xF1, Param[2] picks the 0xF0 mask
} SIO_F81216A_DEVICE_ENTRY;

///
/// The variable's 67 bytes.
///
typedef struct {
  SIO_F81216A_DEVICE_ENTRY    Entry[SIO_F81216A_SETUP_ENTRY_COUNT];
  UINT8                       WriterData[SIO_F81216A_SETUP_WRITER_BYTES]; ///< not read by the module
} SIO_F81216A_SETUP_VARIABLE;

#pragma pack(pop)

extern EFI_GUID  gSioF81216aSetupVariableGuid;

#endif
