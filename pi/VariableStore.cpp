// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/VariableStore.h"
#include "common/Hex.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "pi/Checksum.h"
#include "pi/LittleEndian.h"
#include "pi/VariableStoreRecords.h"

namespace pi {
namespace {

using sio::Fail;
using sio::Hex;

// The fields both record headers share, whichever format they were read from.
struct RecordFields {
  uint16_t StartId = 0;
  uint8_t State = 0;
  uint32_t Attributes = 0;
  uint32_t NameSize = 0;
  uint32_t DataSize = 0;
  Guid VendorGuid{};
};

size_t HeaderSizeOf(VariableStoreFormat Format) {
  return Format == VariableStoreFormat::Authenticated ? sizeof(AuthenticatedVariableHeader)
                                                      : sizeof(VariableHeader);
}

bool ReadFields(std::span<const uint8_t> Bytes, size_t Offset, VariableStoreFormat Format,
                RecordFields& Out) {
  auto Copy = [&Out](const auto& Header) {
    Out = {Header.StartId,  Header.State,    Header.Attributes,
           Header.NameSize, Header.DataSize, Header.VendorGuid};
  };
  if (Format == VariableStoreFormat::Authenticated) {
    AuthenticatedVariableHeader Header;
    if (!ReadRecord(Bytes, Offset, Header))
      return false;
    Copy(Header);
  } else {
    VariableHeader Header;
    if (!ReadRecord(Bytes, Offset, Header))
      return false;
    Copy(Header);
  }
  return true;
}

// What a State byte says, or nothing for a record whose writing stopped
// before it was complete (header only, or a header still being written).
std::optional<VariableRecordState> StateOf(uint8_t State) {
  if ((State & static_cast<uint8_t>(~kVarDeleted)) == 0)
    return VariableRecordState::Deleted;
  if (State == kVarAdded)
    return VariableRecordState::Added;
  if (State == (kVarAdded & kVarInDeletedTransition))
    return VariableRecordState::InDeletedTransition;
  return std::nullopt;
}

struct StoreSpan {
  size_t Offset;
  size_t Limit;         // bytes the store may take: to the end of its volume or of the file
  size_t End = 0;       // of the volume
  size_t BlockSize = 0; // of the volume's first block run
};

// Checks the volume at Offset and gives where its store lies.
sio::Result<StoreSpan> CheckVolume(std::span<const uint8_t> Bytes, size_t Offset) {
  FvHeader Header;
  if (!ReadRecord(Bytes, Offset, Header))
    return Fail("volume header: " + std::to_string(Bytes.size() - Offset) +
                " bytes, shorter than its " + std::to_string(sizeof Header) + " fixed bytes");
  if (Header.Signature != kFvSignature)
    return Fail("volume header: signature " + Hex(Header.Signature) + " is not \"_FVH\"");
  uint64_t Length = Header.FvLength;
  size_t HeaderLength = Header.HeaderLength;
  if (Length > Bytes.size() - Offset)
    return Fail("volume header: length " + Hex(Length) + " runs past the end of the file (" +
                Hex(Bytes.size() - Offset) + " bytes from the volume)");
  if (HeaderLength < kFvMinHeaderLength || HeaderLength % 2 != 0 || HeaderLength > Length)
    return Fail("volume header: header length " + Hex(HeaderLength) + " does not fit volume of " +
                Hex(Length) + " bytes");
  if (uint16_t Sum = *Sum16(Bytes.subspan(Offset, HeaderLength)); Sum != 0)
    return Fail("volume header: checksum " + Hex(Header.Checksum) + " is wrong (words sum to " +
                Hex(Sum) + ", not 0)");
  // A volume the firmware finds damaged is formatted afresh, store and all.
  if (Header.Revision != kFvRevision)
    return Fail("volume header: revision " + std::to_string(Header.Revision) + " is not 2");
  uint64_t Covered = 0;
  bool Ended = false;
  for (size_t At = sizeof Header; !Ended && At + sizeof(FvBlockMapEntry) <= HeaderLength;
       At += sizeof(FvBlockMapEntry)) {
    FvBlockMapEntry Run{};
    ReadRecord(Bytes, Offset + At, Run); // inside the header, which lies inside the bytes
    Ended = Run.NumBlocks == 0 && Run.Length == 0;
    Covered += uint64_t{Run.NumBlocks} * Run.Length;
  }
  if (!Ended)
    return Fail("volume header: block map has no {0, 0} end inside the header");
  if (Covered != Length)
    return Fail("volume header: block map covers " + Hex(Covered) + " bytes, not the volume's " +
                Hex(Length));
  FvBlockMapEntry First{};
  ReadRecord(Bytes, Offset + sizeof Header, First);
  return StoreSpan{Offset + HeaderLength, static_cast<size_t>(Length) - HeaderLength,
                   Offset + static_cast<size_t>(Length), First.Length};
}

bool StartsWithStoreSignature(std::span<const uint8_t> Bytes, size_t Offset) {
  VariableStoreHeader Header;
  if (!ReadRecord(Bytes, Offset, Header))
    return false;
  return Header.Signature == kVariableStoreGuid ||
         Header.Signature == kAuthenticatedVariableStoreGuid;
}

// The volumes that may hold the store: the NV data file-system GUID at 0x10
// and "_FVH" at 0x28, 8-byte aligned (at offset 0 the GUID alone will do, so
// that a damaged header there is reported as such). A volume lying inside an
// earlier one is part of it (the spare area's copy of the store), not another.
std::vector<size_t> FindNvVolumes(std::span<const uint8_t> Bytes) {
  constexpr size_t kGuidAt = offsetof(FvHeader, FileSystemGuid);
  std::vector<size_t> Found;
  if (Bytes.size() >= kGuidAt + sizeof(Guid) &&
      std::memcmp(Bytes.data() + kGuidAt, kSystemNvDataFvGuid.data(), sizeof(Guid)) == 0)
    Found.push_back(0);
  size_t Covered = 0; // the end of the last volume found
  for (size_t Offset = 0;
       Bytes.size() >= sizeof(FvHeader) && Offset <= Bytes.size() - sizeof(FvHeader); Offset += 8) {
    FvHeader Header;
    std::memcpy(&Header, Bytes.data() + Offset, sizeof Header);
    if (Header.Signature != kFvSignature || Header.FileSystemGuid != kSystemNvDataFvGuid)
      continue;
    if (Offset < Covered)
      continue;
    if (Offset != 0)
      Found.push_back(Offset);
    uint64_t Length = Header.FvLength;
    if (Length <= Bytes.size() - Offset)
      Covered = Offset + static_cast<size_t>(Length);
  }
  return Found;
}

std::string OffsetList(const std::vector<size_t>& Offsets) {
  std::string Text;
  for (size_t I = 0; I < Offsets.size(); ++I)
    Text += (I == 0 ? "" : I + 1 == Offsets.size() ? " and " : ", ") + Hex(Offsets[I]);
  return Text;
}

// The working block after the store, at a block boundary of its volume.
std::optional<size_t> FindWorkingBlock(std::span<const uint8_t> Bytes, size_t Volume,
                                       const StoreSpan& Span) {
  if (Span.BlockSize == 0)
    return std::nullopt;
  for (size_t At = Volume + Span.BlockSize;
       At < Span.End && Span.End - At >= sizeof(WorkingBlockHeader); At += Span.BlockSize) {
    if (At > Span.Offset &&
        std::memcmp(Bytes.data() + At, kWorkingBlockSignatureGuid.data(), sizeof(Guid)) == 0)
      return At;
  }
  return std::nullopt;
}

uint32_t Crc32(std::span<const uint8_t> Bytes) {
  uint32_t Crc = 0xFFFFFFFF;
  for (uint8_t B : Bytes) {
    Crc ^= B;
    for (int Bit = 0; Bit < 8; ++Bit)
      Crc = (Crc >> 1) ^ (0xEDB88320u & (0u - (Crc & 1)));
  }
  return ~Crc;
}

// A working block the firmware takes as it is, whose queue records no write
// stopped after its spare copy was made and before its target was rewritten:
// at boot the firmware reads the variables from that spare copy, and then
// copies it over the store.
sio::Result<void> CheckWorkingBlock(std::span<const uint8_t> Bytes, size_t At, size_t End) {
  const std::string Where = "fault-tolerant-write working block at " + Hex(At);
  WorkingBlockHeader Header{};
  ReadRecord(Bytes, At, Header); // FindWorkingBlock saw it whole
  WorkingBlockHeader Unsealed = Header;
  Unsealed.Crc = 0xFFFFFFFF;
  Unsealed.State = 0xFF;
  const uint32_t Crc = Crc32({reinterpret_cast<const uint8_t*>(&Unsealed), sizeof Unsealed});
  if (Crc != Header.Crc || (Header.State & kWorkingBlockValidBit) != 0 ||
      (Header.State & kWorkingBlockInvalidBit) == 0)
    return Fail(Where + ": not valid (CRC " + Hex(Header.Crc) + ", computed " + Hex(Crc) +
                ", state " + Hex(Header.State) +
                "): the firmware would rebuild it from the spare area, store included");
  const size_t QueueEnd =
      At + sizeof Header +
      static_cast<size_t>(std::min<uint64_t>(Header.WriteQueueSize, End - At - sizeof Header));
  size_t Offset = At + sizeof Header;
  FtwWriteHeader Write{};
  while (QueueEnd - Offset >= sizeof Write) {
    ReadRecord(Bytes, Offset, Write);
    if (Write.State & kFtwHeaderAllocatedBit)
      return {}; // the end of the queue
    const uint64_t RecordSize = sizeof(FtwWriteRecord) + uint64_t{Write.PrivateDataSize};
    const uint64_t Room = QueueEnd - Offset - sizeof Write;
    if (Write.PrivateDataSize > Room ||
        (Write.NumberOfWrites != 0 && Write.NumberOfWrites > Room / RecordSize))
      return Fail(Where + ": write at " + Hex(Offset) +
                  " claims more records than its queue holds");
    size_t Record = Offset + sizeof Write;
    if ((Write.State & kFtwCompleteBit) == 0) {
      Offset = Record + static_cast<size_t>(Write.NumberOfWrites * RecordSize);
      continue;
    }
    // The write the firmware resumes at boot.
    for (uint64_t I = 0; I < Write.NumberOfWrites; ++I, Record += static_cast<size_t>(RecordSize)) {
      FtwWriteRecord Block{};
      ReadRecord(Bytes, Record, Block);
      if ((Block.State & kFtwSpareCompleteBit) == 0 &&
          (Block.State & kFtwDestinationCompleteBit) != 0)
        return Fail(Where + ": records an unfinished write (record at " + Hex(Record) +
                    ": spare copy made, target not rewritten); the firmware reads the "
                    "variables from the spare copy until it finishes that write, so a variable "
                    "put into the store is not seen: boot the firmware once to finish it");
    }
    return {};
  }
  return {};
}

} // namespace

size_t VariableStore::RecordHeaderSize() const {
  return HeaderSizeOf(Format_);
}

sio::Result<VariableStore> VariableStore::Open(std::span<const uint8_t> Bytes,
                                               std::optional<size_t> VolumeAt) {
  VariableStore Store;
  StoreSpan Span{0, Bytes.size()};
  if (StartsWithStoreSignature(Bytes, 0) && VolumeAt) {
    return Fail("the file is a bare variable store, in no volume");
  } else if (!StartsWithStoreSignature(Bytes, 0)) {
    const auto Volumes = FindNvVolumes(Bytes);
    if (Volumes.empty())
      return Fail("not a variable store: no store signature at offset 0 and no firmware volume "
                  "with file system " +
                  FormatGuid(kSystemNvDataFvGuid));
    if (VolumeAt && std::find(Volumes.begin(), Volumes.end(), *VolumeAt) == Volumes.end())
      return Fail("no variable store volume at " + Hex(*VolumeAt) + " (there " +
                  (Volumes.size() == 1 ? "is one at " : "are volumes at ") + OffsetList(Volumes) +
                  ")");
    if (!VolumeAt && Volumes.size() > 1)
      return Fail(sio::ErrorKind::Refused, std::to_string(Volumes.size()) +
                                               " volumes may hold the variable store, at " +
                                               OffsetList(Volumes) + "; choose one by its offset");
    const size_t Volume = VolumeAt ? *VolumeAt : Volumes.front();
    auto Checked = CheckVolume(Bytes, Volume);
    if (!Checked)
      return Checked.Within("volume at " + Hex(Volume));
    Store.VolumeOffset_ = Volume;
    Span = *Checked;
    Store.VolumeEnd_ = Span.End;
    Store.WorkingBlockOffset_ = FindWorkingBlock(Bytes, Volume, Span);
  }

  const std::string Where = "variable store at " + Hex(Span.Offset);
  VariableStoreHeader Header;
  if (Span.Limit < sizeof Header || !ReadRecord(Bytes, Span.Offset, Header))
    return Fail(Where + ": shorter than the " + std::to_string(sizeof Header) +
                "-byte store header");
  if (Header.Signature == kAuthenticatedVariableStoreGuid)
    Store.Format_ = VariableStoreFormat::Authenticated;
  else if (Header.Signature == kVariableStoreGuid)
    Store.Format_ = VariableStoreFormat::Plain;
  else
    return Fail(Where + ": signature " + FormatGuid(Header.Signature) +
                " is not a variable store's");
  if (Header.Format != kVariableStoreFormatted || Header.State != kVariableStoreHealthy)
    return Fail(Where + ": not formatted and healthy (format " + Hex(Header.Format) + ", state " +
                Hex(Header.State) + "; expected 0x5A, 0xFE)");
  size_t Size = Header.Size;
  if (Size < sizeof Header || Size > Span.Limit)
    return Fail(Where + ": size " + Hex(Size) + " does not fit the " + Hex(Span.Limit) + " bytes " +
                (Store.VolumeOffset_ ? "the volume holds" : "of the file"));
  // The fault-tolerant-write areas follow the store; the store ends where
  // they begin.
  if (const auto& Working = Store.WorkingBlockOffset_) {
    if (Size > *Working - Span.Offset)
      return Fail(Where + ": size " + Hex(Size) +
                  " reaches into the fault-tolerant-write working "
                  "block at " +
                  Hex(*Working) + " (the store may take " + Hex(*Working - Span.Offset) +
                  " bytes)");
    if (auto Queue = CheckWorkingBlock(Bytes, *Working, Span.End); !Queue)
      return Queue.Failure();
  }
  Store.StoreOffset_ = Span.Offset;
  Store.StoreSize_ = Size;

  // The records, each 4-byte aligned, up to the first header without the start ID.
  const size_t End = Span.Offset + Size;
  const size_t HeaderSize = HeaderSizeOf(Store.Format_);
  size_t Offset = AlignUp(Span.Offset + sizeof Header, kVariableHeaderAlignment);
  auto InStore = Bytes.first(End);
  RecordFields Fields;
  while (Offset < End && ReadFields(InStore, Offset, Store.Format_, Fields) &&
         Fields.StartId == kVariableStartId) {
    const std::string At = "record at " + Hex(Offset);
    uint64_t RecordEnd = uint64_t{Offset} + HeaderSize + Fields.NameSize + Fields.DataSize;
    auto State = StateOf(Fields.State);
    if (!State)
      return Fail(At + ": half-written (state " + Hex(Fields.State) + ")");
    if (RecordEnd > End)
      return Fail(At + ": runs past the end of the store (" + Hex(RecordEnd) + " > " + Hex(End) +
                  ")");
    if (*State != VariableRecordState::Deleted && (Fields.NameSize < 2 || Fields.NameSize % 2 != 0))
      return Fail(At + ": name size " + std::to_string(Fields.NameSize) +
                  " is not a UTF-16 name with its NUL");
    VariableRecord Record;
    Record.Offset = Offset;
    Record.StateByte = Fields.State;
    Record.State = *State;
    Record.Attributes = Fields.Attributes;
    Record.VendorGuid = Fields.VendorGuid;
    const uint8_t* Name = Bytes.data() + Offset + HeaderSize;
    for (size_t I = 0; I + 1 < Fields.NameSize; I += 2)
      Record.Name.push_back(static_cast<char16_t>(Name[I] | Name[I + 1] << 8));
    Record.NameTerminated = !Record.Name.empty() && Record.Name.back() == 0;
    if (Record.NameTerminated)
      Record.Name.pop_back();
    const uint8_t* Data = Name + Fields.NameSize;
    Record.Data.assign(Data, Data + Fields.DataSize);
    Store.Records_.push_back(std::move(Record));
    Offset = AlignUp(static_cast<size_t>(RecordEnd), kVariableHeaderAlignment);
  }
  Offset = std::min(Offset, End);
  // Everything after the last record is erased flash; the firmware reclaims a
  // store whose free space is not.
  auto Free = Bytes.subspan(Offset, End - Offset);
  if (auto Dirty = std::find_if(Free.begin(), Free.end(), [](uint8_t B) { return B != 0xFF; });
      Dirty != Free.end()) {
    size_t At = Offset + static_cast<size_t>(Dirty - Free.begin());
    return Fail(Where + ": byte " + Hex(*Dirty) + " at " + Hex(At) +
                " after the last record, where the free space should be erased (0xFF)");
  }
  Store.FreeOffset_ = Offset;
  Store.Bytes_.assign(Bytes.begin(), Bytes.end());
  return Store;
}

bool VariableRecord::Is(std::u16string_view Wanted, const Guid& Vendor) const {
  return NameTerminated && Name == Wanted && VendorGuid == Vendor;
}

const VariableRecord* VariableStore::FindValid(std::u16string_view Name,
                                               const Guid& VendorGuid) const {
  const VariableRecord* InTransition = nullptr;
  for (const auto& Record : Records_) {
    if (!Record.Valid() || !Record.Is(Name, VendorGuid))
      continue;
    if (Record.State == VariableRecordState::Added)
      return &Record;
    InTransition = &Record;
  }
  return InTransition;
}

size_t VariableStore::ValidCopies(std::u16string_view Name, const Guid& VendorGuid) const {
  return static_cast<size_t>(std::count_if(Records_.begin(), Records_.end(), [&](const auto& R) {
    return R.Valid() && R.Is(Name, VendorGuid);
  }));
}

size_t VariableStore::RecordSize(const NewVariable& Variable) const {
  return RecordHeaderSize() + 2 * (Variable.Name.size() + 1) + Variable.Data.size();
}

sio::Result<std::vector<uint8_t>> VariableStore::WithVariable(const NewVariable& Variable) const {
  if (auto Allowed = CheckStorableAttributes(Variable.Attributes); !Allowed)
    return Allowed.Failure();
  if (Variable.Name.empty())
    return Fail("a variable needs a name");
  if (std::find(Variable.Name.begin(), Variable.Name.end(), u'\0') != Variable.Name.end())
    return Fail("variable name holds a NUL");
  if (Variable.Data.empty())
    return Fail("no content: a variable written with no data is deleted, never stored");
  const size_t Needed = RecordSize(Variable);
  if (Needed > FreeBytes())
    return Fail(sio::ErrorKind::Refused,
                "not enough free space in the variable store: the record needs " +
                    std::to_string(Needed) + " bytes, " + std::to_string(FreeBytes()) +
                    " are free");

  std::vector<uint8_t> Out = Bytes_;
  const uint32_t NameSize = static_cast<uint32_t>(2 * (Variable.Name.size() + 1));
  const uint32_t DataSize = static_cast<uint32_t>(Variable.Data.size());
  auto Fill = [&](auto& Header) {
    Header.StartId = kVariableStartId;
    Header.State = kVarAdded;
    Header.Reserved = 0;
    Header.Attributes = Variable.Attributes;
    Header.NameSize = NameSize;
    Header.DataSize = DataSize;
    Header.VendorGuid = Variable.VendorGuid;
  };
  if (Format_ == VariableStoreFormat::Authenticated) {
    AuthenticatedVariableHeader Header{}; // no monotonic count, time stamp or key
    Fill(Header);
    WriteRecord(Out, FreeOffset_, Header);
  } else {
    VariableHeader Header{};
    Fill(Header);
    WriteRecord(Out, FreeOffset_, Header);
  }
  size_t At = FreeOffset_ + RecordHeaderSize();
  for (char16_t C : Variable.Name) {
    Out[At++] = static_cast<uint8_t>(C);
    Out[At++] = static_cast<uint8_t>(C >> 8);
  }
  Out[At++] = 0;
  Out[At++] = 0;
  std::copy(Variable.Data.begin(), Variable.Data.end(), Out.begin() + static_cast<ptrdiff_t>(At));

  // The earlier copies: State &= VAR_DELETED, as the driver does once the new
  // copy is complete. State is at the same offset in both header formats.
  for (const auto& Record : Records_) {
    if (Record.Valid() && Record.Is(Variable.Name, Variable.VendorGuid))
      Out[Record.Offset + offsetof(VariableHeader, State)] &= kVarDeleted;
  }
  return Out;
}

sio::Result<void> CheckStorableAttributes(uint32_t Attributes) {
  const std::string Given = "attributes " + Hex(Attributes) + ": ";
  if (Attributes & (kVariableAuthenticatedWriteAccess | kVariableTimeBasedAuthenticatedWriteAccess |
                    kVariableEnhancedAuthenticatedAccess))
    return Fail(sio::ErrorKind::Refused,
                Given + "an authenticated variable needs a signed write through the firmware; "
                        "it cannot be put into the store directly");
  if (Attributes & kVariableHardwareErrorRecord)
    return Fail(Given + "hardware error records have their own name and GUID space");
  if (Attributes & kVariableAppendWrite)
    return Fail(Given + "append-write (0x40) is an operation of SetVariable, never stored");
  if (Attributes > 0xFF)
    return Fail(Given + "bits above 0x80 are not variable attributes");
  if (!(Attributes & kVariableNonVolatile))
    return Fail(Given + "a variable in the non-volatile store needs the non-volatile bit (0x1)");
  if (!(Attributes & kVariableBootServiceAccess))
    return Fail(Given + "a variable needs boot-service access (0x2)");
  return {};
}

std::string FormatVariableAttributes(uint32_t Attributes) {
  static constexpr std::pair<uint32_t, const char*> kNames[] = {
      {kVariableNonVolatile, "NV"},
      {kVariableBootServiceAccess, "BS"},
      {kVariableRuntimeAccess, "RT"},
      {kVariableHardwareErrorRecord, "HR"},
      {kVariableAuthenticatedWriteAccess, "AW"},
      {kVariableTimeBasedAuthenticatedWriteAccess, "AT"},
      {kVariableAppendWrite, "AP"},
      {kVariableEnhancedAuthenticatedAccess, "EA"},
  };
  std::string Text;
  for (auto [Bit, Name] : kNames) {
    if (Attributes & Bit) {
      Text += Text.empty() ? "" : "+";
      Text += Name;
    }
  }
  if (uint32_t Unknown = Attributes & ~0xFFu) {
    Text += Text.empty() ? "" : "+";
    Text += Hex(Unknown);
  }
  return Text.empty() ? "none" : Text;
}

std::string VariableNameText(std::u16string_view Name) {
  std::string Text;
  for (char16_t C : Name) {
    if (C >= 0x20 && C < 0x7F) {
      Text.push_back(static_cast<char>(C));
    } else {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04X", static_cast<unsigned>(C));
      Text += Escape;
    }
  }
  return Text;
}

std::optional<std::u16string> VariableNameFromAscii(std::string_view Text) {
  if (Text.empty())
    return std::nullopt;
  std::u16string Name;
  for (char C : Text) {
    if (C <= 0 || C >= 0x7F)
      return std::nullopt;
    Name.push_back(static_cast<char16_t>(C));
  }
  return Name;
}

const char* VariableStoreFormatName(VariableStoreFormat Format) {
  return Format == VariableStoreFormat::Authenticated ? "authenticated" : "plain";
}

const char* VariableRecordStateName(VariableRecordState State) {
  switch (State) {
  case VariableRecordState::Added:
    return "added";
  case VariableRecordState::InDeletedTransition:
    return "in deleted transition";
  case VariableRecordState::Deleted:
    return "deleted";
  }
  return "?";
}

} // namespace pi
