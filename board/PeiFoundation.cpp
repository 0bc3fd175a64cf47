#include "board/PeiFoundation.h"

#include <algorithm>
#include <charconv>

#include "board/Status.h"

namespace board {
namespace {

void AppendAscii(std::string& Text, std::u16string_view Name) {
  for (char16_t C : Name)
    Text += (C >= 0x20 && C < 0x7F) ? static_cast<char>(C) : '?';
}

void AppendNumber(std::string& Text, uint64_t Value) {
  char Digits[24];
  auto End = std::to_chars(Digits, Digits + sizeof Digits, Value).ptr;
  Text.append(Digits, End);
}

// Eight upper-case hex digits, as printf's %08X.
void AppendHex32(std::string& Text, uint32_t Value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int Shift = 28; Shift >= 0; Shift -= 4)
    Text += kHex[(Value >> Shift) & 0xF];
}

} // namespace

void PeiFoundation::Reset(const PeiFaults& Faults) {
  Faults_ = Faults;
  Database_.clear();
  Installed_.clear();
  LiveVariables_ = 0;
  Recorded_.clear();
}

void PeiFoundation::Record(EventKind Kind, uint32_t Status) {
  Recorded_.push_back(Log_.size());
  TraceEvent& E = Log_.emplace_back();
  E.Kind = Kind;
  E.Status = Status;
  if (!SpareDetails_.empty()) {
    E.Detail = std::move(SpareDetails_.back());
    SpareDetails_.pop_back();
  }
  E.Detail.assign(Detail_);
}

void PeiFoundation::Recycle(Trace& Events) {
  for (size_t At : Recorded_) {
    if (At < Events.size() && !Events[At].IsPortAccess())
      SpareDetails_.push_back(std::move(Events[At].Detail));
  }
  Recorded_.clear();
}

const PeiFoundation::StoredVariable* PeiFoundation::FindVariable(std::u16string_view Name,
                                                                 const GuidBytes& Guid) const {
  for (size_t I = 0; I < LiveVariables_; ++I) {
    if (Variables_[I].Guid == Guid && Variables_[I].Name == Name)
      return &Variables_[I];
  }
  return nullptr;
}

void PeiFoundation::SetVariable(std::u16string_view Name, const GuidBytes& Guid,
                                std::span<const uint8_t> Data, uint32_t Attributes) {
  auto* Slot = const_cast<StoredVariable*>(FindVariable(Name, Guid));
  if (Slot == nullptr) {
    if (LiveVariables_ == Variables_.size())
      Variables_.emplace_back();
    Slot = &Variables_[LiveVariables_++];
    Slot->Name.assign(Name);
    Slot->Guid = Guid;
  }
  Slot->Data.assign(Data.begin(), Data.end());
  Slot->Attributes = Attributes;
}

uint32_t PeiFoundation::InstallPpi(std::span<const PpiDescriptor> List, bool WellFormed) {
  Detail_.clear();
  uint32_t Status = kEfiSuccess;
  if (!WellFormed || List.empty()) {
    Status = kEfiInvalidParameter;
    Detail_ = "malformed list";
  } else {
    for (const auto& Ppi : List) {
      if (!Detail_.empty())
        Detail_ += ' ';
      AppendGuid(Detail_, Ppi.Guid);
      Detail_ += " flags=0x";
      AppendHex32(Detail_, Ppi.Flags);
      Detail_ += Ppi.PpiAddress ? " interface" : " no-interface";
      if ((Ppi.Flags & kPpiDescriptorPpi) == 0)
        Status = kEfiInvalidParameter;
    }
  }
  if (Faults_.InstallPpiStatus)
    Status = *Faults_.InstallPpiStatus;
  if (!IsError(Status)) {
    for (const auto& Ppi : List) {
      Database_.push_back(Ppi);
      Installed_.push_back(Ppi);
    }
  }
  Record(EventKind::InstallPpi, Status);
  return Status;
}

LocatePpiResult PeiFoundation::LocatePpi(const GuidBytes& Guid, uint64_t Instance,
                                         bool DescriptorWanted) {
  LocatePpiResult Result{kEfiNotFound, 0, 0};
  uint64_t Seen = 0;
  for (const auto& Ppi : Database_) {
    if (Ppi.Guid == Guid && Seen++ == Instance) {
      Result = {kEfiSuccess, Ppi.DescriptorAddress, Ppi.PpiAddress};
      break;
    }
  }
  if (Faults_.LocatePpiStatus) {
    Result = {*Faults_.LocatePpiStatus, 0, 0};
  } else if (Faults_.LocateReturnsNullPpi) {
    Result = {kEfiSuccess, 0, 0};
  }
  if (!DescriptorWanted)
    Result.DescriptorAddress = 0;
  Detail_.clear();
  AppendGuid(Detail_, Guid);
  Detail_ += " instance=";
  AppendNumber(Detail_, Instance);
  if (DescriptorWanted)
    Detail_ += " descriptor";
  if (Result.Status == kEfiSuccess && Result.PpiAddress == 0)
    Detail_ += " null-interface";
  Record(EventKind::LocatePpi, Result.Status);
  return Result;
}

GetVariableResult PeiFoundation::GetVariable(std::optional<std::u16string_view> Name,
                                             const std::optional<GuidBytes>& Guid,
                                             bool DataSizeGiven, uint64_t BufferSize,
                                             bool DataGiven) {
  GetVariableResult Result;
  Detail_.clear();
  if (Name) {
    Detail_ += '"';
    AppendAscii(Detail_, *Name);
    Detail_ += '"';
  } else {
    Detail_ += "NULL-name";
  }
  Detail_ += ' ';
  if (Guid)
    AppendGuid(Detail_, *Guid);
  else
    Detail_ += "NULL-guid";
  Detail_ += " size=";
  AppendNumber(Detail_, BufferSize);
  const StoredVariable* Found = nullptr;
  if (!Name || !Guid || !DataSizeGiven) {
    Result.Status = kEfiInvalidParameter;
  } else if (Faults_.GetVariableStatus) {
    Result.Status = *Faults_.GetVariableStatus;
    Result.DataSize = BufferSize;
  } else if (Found = FindVariable(*Name, *Guid); Found == nullptr) {
    Result.Status = kEfiNotFound;
    Result.DataSize = BufferSize;
  } else if (Found->Data.size() > BufferSize) {
    Result.Status = kEfiBufferTooSmall;
    Result.DataSize = Found->Data.size();
  } else if (!DataGiven && !Found->Data.empty()) {
    Result.Status = kEfiInvalidParameter;
    Result.DataSize = BufferSize;
  } else {
    Result.Status = kEfiSuccess;
    Result.Data = Found->Data;
    Result.Attributes = Found->Attributes;
    Result.DataSize = Faults_.GetVariableReportedSize.value_or(Found->Data.size());
  }
  if (DataGiven && Faults_.StaleBuffer.size() > Result.Data.size()) {
    size_t End = std::min<uint64_t>(Faults_.StaleBuffer.size(), BufferSize);
    for (size_t I = Result.Data.size(); I < End; ++I)
      Result.Data.push_back(Faults_.StaleBuffer[I]);
  }
  Detail_ += " -> ";
  AppendNumber(Detail_, Result.DataSize);
  Record(EventKind::GetVariable, Result.Status);
  return Result;
}

} // namespace board
