#include "board/PeiFoundation.h"

#include <algorithm>
#include <cstdio>

#include "board/Status.h"

namespace board {
namespace {

std::string Ascii(const std::u16string& Name) {
  std::string Text;
  for (char16_t C : Name)
    Text += (C >= 0x20 && C < 0x7F) ? static_cast<char>(C) : '?';
  return Text;
}

} // namespace

void PeiFoundation::Record(EventKind Kind, uint32_t Status, std::string Detail) {
  Log_.push_back({Kind, 0, 0, 0, Status, std::move(Detail)});
}

void PeiFoundation::SetVariable(VariableKey Key, std::vector<uint8_t> Data, uint32_t Attributes) {
  Variables_[std::move(Key)] = {std::move(Data), Attributes};
}

uint32_t PeiFoundation::InstallPpi(const std::optional<std::vector<PpiDescriptor>>& List) {
  std::string Detail;
  uint32_t Status = kEfiSuccess;
  if (!List || List->empty()) {
    Status = kEfiInvalidParameter;
    Detail = "malformed list";
  } else {
    for (const auto& Ppi : *List) {
      if (!Detail.empty())
        Detail += ' ';
      char Flags[16];
      std::snprintf(Flags, sizeof Flags, "0x%08X", Ppi.Flags);
      Detail += FormatGuid(Ppi.Guid) + " flags=" + Flags +
                (Ppi.PpiAddress ? " interface" : " no-interface");
      if ((Ppi.Flags & kPpiDescriptorPpi) == 0)
        Status = kEfiInvalidParameter;
    }
  }
  if (Faults_.InstallPpiStatus)
    Status = *Faults_.InstallPpiStatus;
  if (!IsError(Status)) {
    for (const auto& Ppi : *List) {
      Database_.push_back(Ppi);
      Installed_.push_back(Ppi);
    }
  }
  Record(EventKind::InstallPpi, Status, Detail);
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
  Record(EventKind::LocatePpi, Result.Status,
         FormatGuid(Guid) + " instance=" + std::to_string(Instance) +
             (DescriptorWanted ? " descriptor" : "") +
             (Result.Status == kEfiSuccess && Result.PpiAddress == 0 ? " null-interface" : ""));
  return Result;
}

GetVariableResult PeiFoundation::GetVariable(const std::optional<std::u16string>& Name,
                                             const std::optional<GuidBytes>& Guid,
                                             bool DataSizeGiven, uint64_t BufferSize,
                                             bool DataGiven) {
  GetVariableResult Result;
  std::string Detail = (Name ? "\"" + Ascii(*Name) + "\"" : std::string("NULL-name")) + " " +
                       (Guid ? FormatGuid(*Guid) : std::string("NULL-guid")) +
                       " size=" + std::to_string(BufferSize);
  if (!Name || !Guid || !DataSizeGiven) {
    Result.Status = kEfiInvalidParameter;
  } else if (Faults_.GetVariableStatus) {
    Result.Status = *Faults_.GetVariableStatus;
    Result.DataSize = BufferSize;
  } else if (auto It = Variables_.find({*Name, *Guid}); It == Variables_.end()) {
    Result.Status = kEfiNotFound;
    Result.DataSize = BufferSize;
  } else if (const auto& [Data, Attributes] = It->second; Data.size() > BufferSize) {
    Result.Status = kEfiBufferTooSmall;
    Result.DataSize = Data.size();
  } else if (!DataGiven && !Data.empty()) {
    Result.Status = kEfiInvalidParameter;
    Result.DataSize = BufferSize;
  } else {
    Result.Status = kEfiSuccess;
    Result.Data = Data;
    Result.Attributes = Attributes;
    Result.DataSize = Faults_.GetVariableReportedSize.value_or(Data.size());
  }
  if (DataGiven && Faults_.StaleBuffer.size() > Result.Data.size()) {
    size_t End = std::min<uint64_t>(Faults_.StaleBuffer.size(), BufferSize);
    for (size_t I = Result.Data.size(); I < End; ++I)
      Result.Data.push_back(Faults_.StaleBuffer[I]);
  }
  Detail += " -> " + std::to_string(Result.DataSize);
  Record(EventKind::GetVariable, Result.Status, Detail);
  return Result;
}

} // namespace board
