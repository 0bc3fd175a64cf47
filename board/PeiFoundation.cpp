// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/PeiFoundation.h"

#include <algorithm>

#include "pi/Status.h"

namespace board {
void PeiFoundation::Reset(const PeiFaults& Faults) {
  Faults_ = Faults;
  Database_.clear();
  Installed_.clear();
  LiveVariables_ = 0;
  Recorded_.clear();
}

pi::ServiceCall& PeiFoundation::Record(pi::EventKind Kind, uint32_t Status) {
  Recorded_.push_back(Log_.size());
  pi::TraceEvent& E = Log_.emplace_back();
  E.Kind = Kind;
  E.Status = Status;
  if (!SpareCalls_.empty()) {
    // Cleared to a new record's values, keeping the list's and name's storage.
    pi::ServiceCall& C = E.Call = std::move(SpareCalls_.back());
    SpareCalls_.pop_back();
    C.Ppis.clear();
    C.ListWellFormed = true;
    C.Guid.reset();
    C.Instance = 0;
    C.DescriptorWanted = false;
    C.NullInterface = false;
    C.NameGiven = false;
    C.Name.clear();
    C.BufferSize = 0;
    C.DataSize = 0;
    C.AttributesWanted = false;
  }
  return E.Call;
}

void PeiFoundation::Recycle(pi::Trace& Events) {
  for (size_t At : Recorded_) {
    if (At < Events.size() && !Events[At].IsPortAccess())
      SpareCalls_.push_back(std::move(Events[At].Call));
  }
  Recorded_.clear();
}

const PeiFoundation::StoredVariable* PeiFoundation::FindVariable(std::u16string_view Name,
                                                                 const pi::Guid& Guid) const {
  for (size_t I = 0; I < LiveVariables_; ++I) {
    if (Variables_[I].Guid == Guid && Variables_[I].Name == Name)
      return &Variables_[I];
  }
  return nullptr;
}

void PeiFoundation::SetVariable(std::u16string_view Name, const pi::Guid& Guid,
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
  bool Valid = WellFormed && !List.empty();
  uint32_t Status = pi::kEfiSuccess;
  for (const auto& Ppi : List) {
    if ((Ppi.Flags & pi::kPpiDescriptorPpi) == 0)
      Status = pi::kEfiInvalidParameter;
  }
  if (!Valid)
    Status = pi::kEfiInvalidParameter;
  if (Faults_.InstallPpiStatus)
    Status = *Faults_.InstallPpiStatus;
  if (!pi::IsError(Status)) {
    for (const auto& Ppi : List) {
      Database_.push_back(Ppi);
      Installed_.push_back(Ppi);
    }
  }
  pi::ServiceCall& Call = Record(pi::EventKind::InstallPpi, Status);
  Call.ListWellFormed = Valid;
  if (Valid) {
    for (const auto& Ppi : List)
      Call.Ppis.push_back({Ppi.Guid, Ppi.Flags, Ppi.PpiAddress != 0});
  }
  return Status;
}

LocatePpiResult PeiFoundation::LocatePpi(const pi::Guid& Guid, uint64_t Instance,
                                         bool DescriptorWanted) {
  LocatePpiResult Result{pi::kEfiNotFound, 0, 0};
  uint64_t Seen = 0;
  for (const auto& Ppi : Database_) {
    if (Ppi.Guid == Guid && Seen++ == Instance) {
      Result = {pi::kEfiSuccess, Ppi.DescriptorAddress, Ppi.PpiAddress};
      break;
    }
  }
  if (Faults_.LocatePpiStatus) {
    Result = {*Faults_.LocatePpiStatus, 0, 0};
  } else if (Faults_.LocateReturnsNullPpi) {
    Result = {pi::kEfiSuccess, 0, 0};
  }
  if (!DescriptorWanted)
    Result.DescriptorAddress = 0;
  pi::ServiceCall& Call = Record(pi::EventKind::LocatePpi, Result.Status);
  Call.Guid = Guid;
  Call.Instance = Instance;
  Call.DescriptorWanted = DescriptorWanted;
  Call.NullInterface = Result.Status == pi::kEfiSuccess && Result.PpiAddress == 0;
  return Result;
}

GetVariableResult PeiFoundation::GetVariable(std::optional<std::u16string_view> Name,
                                             const std::optional<pi::Guid>& Guid,
                                             bool DataSizeGiven, uint64_t BufferSize,
                                             bool DataGiven, bool AttributesWanted) {
  GetVariableResult Result;
  const StoredVariable* Found = nullptr;
  if (!Name || !Guid || !DataSizeGiven) {
    Result.Status = pi::kEfiInvalidParameter;
  } else if (Faults_.GetVariableStatus) {
    Result.Status = *Faults_.GetVariableStatus;
    Result.DataSize = BufferSize;
  } else if (Found = FindVariable(*Name, *Guid); Found == nullptr) {
    Result.Status = pi::kEfiNotFound;
    Result.DataSize = BufferSize;
  } else if (Found->Data.size() > BufferSize) {
    Result.Status = pi::kEfiBufferTooSmall;
    Result.DataSize = Found->Data.size();
  } else if (!DataGiven && !Found->Data.empty()) {
    Result.Status = pi::kEfiInvalidParameter;
    Result.DataSize = BufferSize;
  } else {
    Result.Status = pi::kEfiSuccess;
    Result.Data = Found->Data;
    Result.Attributes = Found->Attributes;
    Result.DataSize = Faults_.GetVariableReportedSize.value_or(Found->Data.size());
  }
  if (DataGiven && Faults_.StaleBuffer.size() > Result.Data.size()) {
    size_t End = std::min<uint64_t>(Faults_.StaleBuffer.size(), BufferSize);
    for (size_t I = Result.Data.size(); I < End; ++I)
      Result.Data.push_back(Faults_.StaleBuffer[I]);
  }
  pi::ServiceCall& Call = Record(pi::EventKind::GetVariable, Result.Status);
  Call.NameGiven = Name.has_value();
  if (Name)
    Call.Name.assign(*Name);
  Call.Guid = Guid;
  Call.BufferSize = BufferSize;
  Call.DataSize = Result.DataSize;
  Call.AttributesWanted = AttributesWanted;
  return Result;
}

} // namespace board
