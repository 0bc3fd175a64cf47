// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup variable "SioF81216aSetup00" as bytes: five 12-byte device
// entries and seven trailing bytes that belong to the variable's writer.
// Encodes readable entries into the 67-byte content and decodes a binary one,
// telling which entries the settings stage acts on.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "chip/SetupLayout.h"
#include "common/JsonFields.h"

namespace siotool {

// The variable's name and layout are chip/SetupLayout.h's; its vendor GUID is
// pi::kSioSetupVendorGuid.

// One entry in the device-entry layout: 12 bytes, IoBase little-endian.
struct SetupEntry {
  uint8_t ChipIdHigh = 0;
  uint8_t ChipIdLow = 0;
  uint8_t Aux = 0;
  uint8_t Kind = 0;
  uint8_t Qualifier = 0;
  uint8_t Enabled = 0;
  uint16_t IoBase = 0;
  std::array<uint8_t, 4> Param{};
  bool operator==(const SetupEntry&) const = default;
};

struct SetupContent {
  std::array<SetupEntry, chip::kSetupEntryCount> Entries{};
  std::array<uint8_t, chip::kSetupTrailerSize> Trailer{};
};

struct DecodedEntry {
  SetupEntry Entry;        // bytes beyond the data read as 0
  size_t BytesPresent = 0; // how many of the entry's 12 bytes the data holds
  bool ActedOn = false;    // the settings stage programs logical device 8 from it
};

std::vector<uint8_t> EncodeSetupVariable(const SetupContent& Content);
std::vector<DecodedEntry> DecodeSetupVariable(std::span<const uint8_t> Data);

// True when the settings stage acts on entry Index of a variable holding Data:
// kind 0x12, qualifier 0, enabled 1, every byte it reads inside the data, and
// the variable no longer than the stage's 67-byte buffer (a longer one is refused).
bool SettingsStageActsOn(std::span<const uint8_t> Data, size_t Index);

// Readable forms. An entry object has the keys chip_id_high, chip_id_low, aux,
// kind, qualifier, enabled, iobase, param (exactly 4 bytes); absent keys are 0.
// Errors (bad input) name the field, as common/JsonFields.h reads them.
sio::Result<SetupEntry> ParseSetupEntry(const Json& Object, const std::string& Field);
Json SetupEntryToJson(const SetupEntry& Entry);
// "kind=0x12,qualifier=0,enabled=1,param=5A:00:00:00" (or "empty") as an entry.
sio::Result<SetupEntry> ParseSetupEntryText(const std::string& Text, const std::string& Field);

// The 7 trailing bytes, exactly 7 of them.
sio::Result<std::array<uint8_t, chip::kSetupTrailerSize>>
ReadSetupTrailer(const Json& Value, const std::string& Field);

// A variable object: {"entries": [entry or null, ...up to 5], "trailer": bytes,
// "size": N} (size defaults to 67; more than 67 pads with zeros, less cuts),
// or {"bytes": "hex bytes"}. At most MaxSize bytes.
sio::Result<std::vector<uint8_t>> ParseSetupVariable(const Json& Object, const std::string& Field,
                                                     size_t MaxSize);

// The content as the table below shows it, as JSON: {"size", "content" (hex
// pairs), "entries": [entry object with "bytes_present" and "acted_on"],
// "trailer": [bytes] (only those the data holds)}.
Json SetupVariableToJson(std::span<const uint8_t> Data);

// The decoded entries as a table, one line per entry, acted-on entries marked.
// Label names an entry the settings stage applies ("acted on" when the
// content alone is judged; a platform's reading of it may be said instead).
std::vector<std::string> FormatSetupTable(std::span<const uint8_t> Data,
                                          std::string_view Label = "acted on");

} // namespace siotool
