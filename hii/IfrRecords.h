// SPDX-License-Identifier: BSD-2-Clause-Patent
// The binary forms of an HII package list as the HII database takes it: the
// package list and package headers, the IFR opcodes of a form package and the
// string blocks of a string package, with the flags this page uses. Every
// multi-byte field is little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hii {

// EFI_HII_PACKAGE_LIST_HEADER: the list's GUID and its whole length.
inline constexpr size_t kPackageListHeaderSize = 20;
// EFI_HII_PACKAGE_HEADER: a 24-bit length (header included) and a type.
inline constexpr size_t kPackageHeaderSize = 4;
inline constexpr uint8_t kPackageForms = 0x02;
inline constexpr uint8_t kPackageStrings = 0x04;
inline constexpr uint8_t kPackageEnd = 0xDF;

// EFI_IFR_OP_HEADER: the opcode, then a 7-bit length (header included) and
// the scope bit; an opcode with scope opens a scope its EFI_IFR_END closes.
inline constexpr size_t kOpHeaderSize = 2;
inline constexpr uint8_t kScopeBit = 0x80;
inline constexpr uint8_t kLengthMask = 0x7F;

inline constexpr uint8_t kOpForm = 0x01;
inline constexpr uint8_t kOpOneOf = 0x05;
inline constexpr uint8_t kOpCheckbox = 0x06;
inline constexpr uint8_t kOpNumeric = 0x07;
inline constexpr uint8_t kOpOneOfOption = 0x09;
inline constexpr uint8_t kOpFormSet = 0x0E;
inline constexpr uint8_t kOpVarStoreEfi = 0x26;
inline constexpr uint8_t kOpEnd = 0x29;
inline constexpr uint8_t kOpDefault = 0x5B;
inline constexpr uint8_t kOpDefaultStore = 0x5C;

// Record sizes, header included. FORM_SET: GUID, title, help, flags (the
// class GUID count in its low two bits), then the class GUIDs.
inline constexpr size_t kFormSetBaseSize = 2 + 16 + 2 + 2 + 1;
inline constexpr size_t kFormSize = 2 + 2 + 2; // form id, title
// VARSTORE_EFI: id, GUID, attributes, size, then the name as ASCII with its NUL.
inline constexpr size_t kVarStoreEfiBaseSize = 2 + 2 + 16 + 4 + 2;
// EFI_IFR_QUESTION_HEADER: prompt, help, question id, varstore id, offset, flags.
inline constexpr size_t kQuestionHeaderSize = 2 + 2 + 2 + 2 + 2 + 1;
inline constexpr size_t kCheckboxSize = 2 + kQuestionHeaderSize + 1;
// NUMERIC and ONE_OF of one byte: flags, then minimum, maximum and step.
inline constexpr size_t kByteRangeQuestionSize = 2 + kQuestionHeaderSize + 1 + 3;
// ONE_OF_OPTION of a one-byte value: option text, flags, type, value.
inline constexpr size_t kByteOptionSize = 2 + 2 + 1 + 1 + 1;
// DEFAULT of a one-byte value: default id, type, value.
inline constexpr size_t kByteDefaultSize = 2 + 2 + 1 + 1;
inline constexpr size_t kEndSize = 2;
// DEFAULTSTORE: the store's name (a string id, 0 for none) and its default id.
inline constexpr size_t kDefaultStoreSize = 2 + 2 + 2;

// Question flags (EFI_IFR_QUESTION_HEADER.Flags): none are used here.
// CHECKBOX flags: the standard default is set.
inline constexpr uint8_t kCheckboxDefault = 0x01;
// NUMERIC and ONE_OF flags: the value's size (low two bits; 0 is one byte)
// and how a number is shown (bits 4 and 5: signed decimal, unsigned decimal,
// hexadecimal).
inline constexpr uint8_t kNumericSizeMask = 0x03;
inline constexpr uint8_t kNumericSize1 = 0x00;
inline constexpr uint8_t kDisplayMask = 0x30;
inline constexpr uint8_t kDisplayIntDec = 0x00;
inline constexpr uint8_t kDisplayUintDec = 0x10;
inline constexpr uint8_t kDisplayUintHex = 0x20;
// ONE_OF_OPTION flags: this option is the standard default.
inline constexpr uint8_t kOptionDefault = 0x10;
// EFI_IFR_TYPE_*: the value types this page uses.
inline constexpr uint8_t kTypeNumSize8 = 0x00;
// EFI_HII_DEFAULT_CLASS_STANDARD and _MANUFACTURING: the default stores
// every formset declares, so that configuration routing reports each
// question's defaults for both.
inline constexpr uint16_t kDefaultClassStandard = 0x0000;
inline constexpr uint16_t kDefaultClassManufacturing = 0x0001;

// String package (EFI_HII_STRING_PACKAGE_HDR): package header, header size,
// string-information offset, a 16-character language window, the language
// name's string id, then the RFC 4646 language as ASCII with its NUL.
inline constexpr size_t kStringHeaderBaseSize = 4 + 4 + 4 + 32 + 2;
// String blocks: a UCS-2 string (NUL-terminated), and the end of the blocks.
inline constexpr uint8_t kSibtStringUcs2 = 0x14;
inline constexpr uint8_t kSibtEnd = 0x00;

} // namespace hii
