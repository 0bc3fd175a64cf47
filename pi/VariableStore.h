// SPDX-License-Identifier: BSD-2-Clause-Patent
// A firmware variable store read from bytes — a bare store, the firmware
// volume that holds one, or a whole flash image containing that volume — its
// records listed, and a variable added or replaced the way the firmware's
// variable driver does it, in a copy of the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "pi/Guid.h"

namespace pi {

enum class VariableStoreFormat { Plain, Authenticated };

enum class VariableRecordState {
  Added,               // 0x3F: the valid copy
  InDeletedTransition, // 0x3E: valid until its replacement is complete
  Deleted,             // the deleted bit cleared: dead, space for the next reclaim
};

struct VariableRecord {
  size_t Offset = 0; // of the record's header in the opened bytes
  uint8_t StateByte = 0;
  VariableRecordState State = VariableRecordState::Added;
  uint32_t Attributes = 0;
  Guid VendorGuid{};
  // All NameSize bytes as UTF-16 units, less the final NUL when there is one
  // (NameTerminated); units after an earlier NUL stay, as they are part of
  // the name the firmware compares.
  std::u16string Name;
  bool NameTerminated = true;
  std::vector<uint8_t> Data;

  bool Valid() const { return State != VariableRecordState::Deleted; }
  // The firmware's match: the same GUID and all NameSize bytes equal to the
  // name with its NUL.
  bool Is(std::u16string_view Name, const Guid& VendorGuid) const;
};

// A variable to store. Name is without its NUL.
struct NewVariable {
  std::u16string Name;
  Guid VendorGuid{};
  uint32_t Attributes = 0;
  std::span<const uint8_t> Data;
};

class VariableStore {
public:
  // Finds and checks the store: a bare store at offset 0, or the store in a
  // volume with the NV data file-system GUID (at an 8-byte aligned offset; a
  // file with that GUID at 0x10 is taken as such a volume, however damaged).
  // A file holding more than one such volume is refused, listing their
  // offsets, unless VolumeAt names one of them; a volume inside another (the
  // copy in a spare area) is part of it, not a candidate. In a volume the
  // store must end where the fault-tolerant-write working block after it
  // begins, and a write the working block records as unfinished is refused
  // (the firmware would read the spare copy instead of the store). Every
  // header and record is checked against the bytes; the error names the
  // first problem.
  static sio::Result<VariableStore> Open(std::span<const uint8_t> Bytes,
                                         std::optional<size_t> VolumeAt = std::nullopt);

  VariableStoreFormat Format() const { return Format_; }
  // Where the volume holding the store starts, if the store sits in one.
  std::optional<size_t> VolumeOffset() const { return VolumeOffset_; }
  // Where that volume ends.
  std::optional<size_t> VolumeEnd() const { return VolumeEnd_; }
  // Where the fault-tolerant-write working block after the store starts, if
  // its volume holds one.
  std::optional<size_t> WorkingBlockOffset() const { return WorkingBlockOffset_; }
  size_t StoreOffset() const { return StoreOffset_; }
  size_t StoreSize() const { return StoreSize_; }
  // Where the erased space after the last record starts, and its size.
  size_t FreeOffset() const { return FreeOffset_; }
  size_t FreeBytes() const { return StoreOffset_ + StoreSize_ - FreeOffset_; }
  size_t RecordHeaderSize() const;
  const std::vector<VariableRecord>& Records() const { return Records_; }
  const std::vector<uint8_t>& Bytes() const { return Bytes_; }

  // The copy of Name/VendorGuid the firmware reads: the first added copy, or
  // when there is none the last copy in deleted transition; or nothing.
  const VariableRecord* FindValid(std::u16string_view Name, const Guid& VendorGuid) const;
  // How many valid copies of Name/VendorGuid the store holds (one, normally).
  size_t ValidCopies(std::u16string_view Name, const Guid& VendorGuid) const;

  // Bytes a record for Variable takes: header, name with NUL, data.
  size_t RecordSize(const NewVariable& Variable) const;

  // A copy of the opened bytes with Variable appended as a new record in
  // state 0x3F and every earlier valid copy of it marked deleted (its State
  // ANDed with 0xFD). Refuses attributes a store write cannot carry
  // (CheckStorableAttributes), an empty name or data, and a record larger
  // than the free space.
  sio::Result<std::vector<uint8_t>> WithVariable(const NewVariable& Variable) const;

private:
  std::vector<uint8_t> Bytes_;
  VariableStoreFormat Format_ = VariableStoreFormat::Authenticated;
  std::optional<size_t> VolumeOffset_;
  std::optional<size_t> VolumeEnd_;
  std::optional<size_t> WorkingBlockOffset_;
  size_t StoreOffset_ = 0;
  size_t StoreSize_ = 0;
  size_t FreeOffset_ = 0;
  std::vector<VariableRecord> Records_;
};

// Attributes a variable written straight into the store may have: non-volatile
// and boot-service access, runtime access optional. Authenticated-write bits
// need a signed update through the firmware, a hardware error record has its
// own name space, append-write is a SetVariable operation (never stored).
sio::Result<void> CheckStorableAttributes(uint32_t Attributes);

// "NV+BS+RT" style names of the attribute bits (unknown bits in hex).
std::string FormatVariableAttributes(uint32_t Attributes);
// The name as text: ASCII as is, anything else as \uXXXX.
std::string VariableNameText(std::u16string_view Name);
// UTF-16 of an ASCII name; nothing for non-ASCII or empty text.
std::optional<std::u16string> VariableNameFromAscii(std::string_view Text);
const char* VariableStoreFormatName(VariableStoreFormat Format);
const char* VariableRecordStateName(VariableRecordState State);

} // namespace pi
