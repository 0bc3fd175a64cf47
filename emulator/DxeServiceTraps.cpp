// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/DxeServiceTraps.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "chip/SetupLayout.h"
#include "common/Hex.h"
#include "emulator/Registers.h"
#include "pi/KnownGuids.h"
#include "pi/Status.h"

namespace emulator {
namespace {

std::string Hex8(uint64_t Value) {
  return sio::Hex(Value, 8);
}

constexpr uint32_t kTableHeaderSize = 24;
// The boot services after the table header, one pointer each.
constexpr const char* kBootServiceNames[] = {"RaiseTPL",
                                             "RestoreTPL",
                                             "AllocatePages",
                                             "FreePages",
                                             "GetMemoryMap",
                                             "AllocatePool",
                                             "FreePool",
                                             "CreateEvent",
                                             "SetTimer",
                                             "WaitForEvent",
                                             "SignalEvent",
                                             "CloseEvent",
                                             "CheckEvent",
                                             "InstallProtocolInterface",
                                             "ReinstallProtocolInterface",
                                             "UninstallProtocolInterface",
                                             "HandleProtocol",
                                             "Reserved",
                                             "RegisterProtocolNotify",
                                             "LocateHandle",
                                             "LocateDevicePath",
                                             "InstallConfigurationTable",
                                             "LoadImage",
                                             "StartImage",
                                             "Exit",
                                             "UnloadImage",
                                             "ExitBootServices",
                                             "GetNextMonotonicCount",
                                             "Stall",
                                             "SetWatchdogTimer",
                                             "ConnectController",
                                             "DisconnectController",
                                             "OpenProtocol",
                                             "CloseProtocol",
                                             "OpenProtocolInformation",
                                             "ProtocolsPerHandle",
                                             "LocateHandleBuffer",
                                             "LocateProtocol",
                                             "InstallMultipleProtocolInterfaces",
                                             "UninstallMultipleProtocolInterfaces",
                                             "CalculateCrc32",
                                             "CopyMem",
                                             "SetMem",
                                             "CreateEventEx"};
constexpr const char* kRuntimeServiceNames[] = {"GetTime",
                                                "SetTime",
                                                "GetWakeupTime",
                                                "SetWakeupTime",
                                                "SetVirtualAddressMap",
                                                "ConvertPointer",
                                                "GetVariable",
                                                "GetNextVariableName",
                                                "SetVariable",
                                                "GetNextHighMonotonicCount",
                                                "ResetSystem",
                                                "UpdateCapsule",
                                                "QueryCapsuleCapabilities",
                                                "QueryVariableInfo"};
constexpr const char* kHiiDatabaseNames[] = {
    "NewPackageList",     "RemovePackageList",     "UpdatePackageList",       "ListPackageLists",
    "ExportPackageLists", "RegisterPackageNotify", "UnregisterPackageNotify", "FindKeyboardLayouts",
    "GetKeyboardLayout",  "SetKeyboardLayout",     "GetPackageListHandle"};
constexpr uint32_t kBootServiceCount = std::size(kBootServiceNames);
constexpr uint32_t kRuntimeServiceCount = std::size(kRuntimeServiceNames);
constexpr uint32_t kHiiDatabaseCount = std::size(kHiiDatabaseNames);

// Each table's traps: 16 bytes apart, one group per table.
constexpr uint32_t kTrapStride = 0x10;
constexpr uint32_t kBootTraps = kTrapPage;
constexpr uint32_t kRuntimeTraps = kTrapPage + 0x400;
constexpr uint32_t kHiiTraps = kTrapPage + 0x600;
static_assert(kBootTraps + kTrapStride * kBootServiceCount <= kRuntimeTraps);
static_assert(kRuntimeTraps + kTrapStride * kRuntimeServiceCount <= kHiiTraps);
static_assert(kHiiTraps + kTrapStride * kHiiDatabaseCount <= kReturnTrap);
static_assert(kBootServicesTable + kTableHeaderSize + 8 * kBootServiceCount <=
              kRuntimeServicesTable);
static_assert(kRuntimeServicesTable + kTableHeaderSize + 8 * kRuntimeServiceCount <=
              kHiiDatabaseProtocol);
static_assert(kHiiDatabaseProtocol + 8 * kHiiDatabaseCount <= kFirmwareVendor);

constexpr uint32_t kLocateProtocolIndex = 37;
constexpr uint32_t kInstallMultipleIndex = 38;
constexpr uint32_t kGetVariableIndex = 6;
constexpr uint32_t kSetVariableIndex = 8;
constexpr uint32_t kNewPackageListIndex = 0;

// Bounds past which the model calls an argument malformed.
constexpr size_t kMaxNameLength = 1024;
constexpr size_t kMaxInterfacePairs = 32;
constexpr size_t kMaxDevicePathBytes = 1024;
constexpr uint32_t kMaxPackageListBytes = 0x10000;
constexpr uint32_t kMaxVariableBytes = 0x10000;
constexpr uint32_t kMaxHandles = 64;
constexpr uint8_t kHalt = 0xF4;

std::string NameText(const std::u16string& Name) {
  std::string Text;
  for (char16_t C : Name)
    Text.push_back(C < 0x80 ? static_cast<char>(C) : '?');
  return Text;
}

std::string GuidText(const pi::Guid& G) {
  std::string Name = pi::GuidName(G);
  return Name.empty() ? pi::FormatGuid(G) : Name;
}

} // namespace

DxeServiceTraps::DxeServiceTraps(uc_engine* Uc, ProcessorMode Mode, GuestMemory& Memory,
                                 const DxeScenario& Scenario, DxeRunReport& Out)
    : Uc_(Uc), Mode_(Mode), Width_(PointerSize(Mode)), Memory_(Memory), Faults_(Scenario.Faults),
      Out_(Out) {
  const Key Setup{std::u16string(chip::kSetupVariableName), pi::kSioSetupVendorGuid};
  if (Scenario.SetupVariable)
    Variables_[Setup] = {*Scenario.SetupVariable, Scenario.SetupAttributes};
  Out_.SetupVariable = Scenario.SetupVariable;
  Out_.SetupAttributes = Scenario.SetupVariable ? Scenario.SetupAttributes : 0;
}

std::array<uint64_t, 2> DxeServiceTraps::EntryArguments() const {
  return {kImageHandle, kSystemTable};
}

const char* DxeServiceTraps::RegionName(uint64_t Address) const {
  if (Address >= kDxeTablesPage && Address < kDxeTablesPage + kPageSize)
    return "DXE tables";
  return nullptr;
}

sio::Result<void> DxeServiceTraps::Build() {
  std::vector<uint8_t> Traps(kPageSize, kHalt);
  std::vector<uint8_t> Page(kPageSize, 0);
  const uint32_t W = Width_;
  auto Put = [&](uint32_t Address, uint64_t Value, uint32_t Bytes) {
    std::memcpy(Page.data() + (Address - kDxeTablesPage), &Value, Bytes);
  };
  auto Header = [&](uint32_t Address, uint64_t Signature, uint32_t Size) {
    Put(Address, Signature, 8);
    Put(Address + 8, 0x0002004B, 4); // revision 2.75
    Put(Address + 12, Size, 4);
  };
  // The system table: header, vendor, revision, three console pairs (none),
  // the runtime and boot services, no configuration tables.
  const uint32_t SystemSize = Mode_ == ProcessorMode::X64 ? 0x78 : 0x48;
  Header(kSystemTable, 0x5453595320494249ull, SystemSize); // "IBI SYST"
  Put(kSystemTable + 24, kFirmwareVendor, W);
  const uint32_t Services = Mode_ == ProcessorMode::X64 ? 0x58 : 0x38;
  Put(kSystemTable + Services, kRuntimeServicesTable, W);
  Put(kSystemTable + Services + W, kBootServicesTable, W);
  Header(kBootServicesTable, 0x56524553544f4f42ull, kTableHeaderSize + W * kBootServiceCount);
  for (uint32_t I = 0; I < kBootServiceCount; ++I)
    Put(kBootServicesTable + kTableHeaderSize + W * I, kBootTraps + kTrapStride * I, W);
  Header(kRuntimeServicesTable, 0x56524553544e5552ull, kTableHeaderSize + W * kRuntimeServiceCount);
  for (uint32_t I = 0; I < kRuntimeServiceCount; ++I)
    Put(kRuntimeServicesTable + kTableHeaderSize + W * I, kRuntimeTraps + kTrapStride * I, W);
  for (uint32_t I = 0; I < kHiiDatabaseCount; ++I)
    Put(kHiiDatabaseProtocol + W * I, kHiiTraps + kTrapStride * I, W);
  for (uint32_t I = 0; I < 5; ++I) // u"Sio" and its NUL
    Put(kFirmwareVendor + 2 * I, I < 3 ? "Sio"[I] : 0, 2);

  if (uc_mem_map(Uc_, kTrapPage, kPageSize, UC_PROT_READ | UC_PROT_EXEC) != UC_ERR_OK ||
      uc_mem_map(Uc_, kDxeTablesPage, kPageSize, UC_PROT_READ) != UC_ERR_OK ||
      uc_mem_write(Uc_, kTrapPage, Traps.data(), Traps.size()) != UC_ERR_OK ||
      uc_mem_write(Uc_, kDxeTablesPage, Page.data(), Page.size()) != UC_ERR_OK) {
    return sio::Fail(sio::ErrorKind::Io, "cannot map the DXE tables");
  }
  return {};
}

sio::Result<uint64_t> DxeServiceTraps::Argument(size_t Index, const char* Service) {
  auto Value = CallArgument(Uc_, Mode_, Memory_, Index);
  if (!Value)
    return sio::Fail(sio::ErrorKind::Failed, std::string(Service) + ": arguments unreadable");
  // A UINTN of an IA-32 caller is 32 bits; an x64 register argument is read whole.
  return *Value;
}

template <size_t Count>
sio::Result<std::array<uint64_t, Count>> DxeServiceTraps::Arguments(const char* Service) {
  std::array<uint64_t, Count> Values{};
  for (size_t I = 0; I < Count; ++I) {
    auto Value = Argument(I, Service);
    if (!Value)
      return Value.Failure();
    Values[I] = *Value;
  }
  return Values;
}

sio::Result<std::u16string> DxeServiceTraps::ReadName(uint64_t Address, const char* Service) {
  auto Name = ReadUcs2String(Memory_, Address, kMaxNameLength);
  if (!Name)
    return sio::Fail(sio::ErrorKind::Failed, std::string(Service) + ": name " + Name.Message());
  return *Name;
}

sio::Result<pi::Guid> DxeServiceTraps::ReadGuid(uint64_t Address, const char* Service) {
  pi::Guid G{};
  if (!Memory_.Read(Address, G.data(), G.size()))
    return sio::Fail(sio::ErrorKind::Failed,
                     std::string(Service) + ": GUID at " + Hex8(Address) + " unreadable");
  return G;
}

uint32_t DxeServiceTraps::Record(const char* Service, uint32_t Status, std::string Detail) {
  Out_.Calls.push_back({Service, Status, std::move(Detail)});
  return Status;
}

sio::Result<void> DxeServiceTraps::Serve(uint64_t Address) {
  auto Return = CallReturnAddress(Uc_, Mode_, Memory_, Address);
  if (!Return)
    return Return.Failure();
  // The services the model provides, by trap; every other slot of the three
  // tables is a call the model refuses by name.
  using Handler = sio::Result<uint32_t> (DxeServiceTraps::*)();
  const std::pair<uint32_t, Handler> Served[] = {
      {kBootTraps + kTrapStride * kLocateProtocolIndex, &DxeServiceTraps::LocateProtocol},
      {kBootTraps + kTrapStride * kInstallMultipleIndex,
       &DxeServiceTraps::InstallMultipleProtocolInterfaces},
      {kRuntimeTraps + kTrapStride * kGetVariableIndex, &DxeServiceTraps::GetVariable},
      {kRuntimeTraps + kTrapStride * kSetVariableIndex, &DxeServiceTraps::SetVariable},
      {kHiiTraps + kTrapStride * kNewPackageListIndex, &DxeServiceTraps::NewPackageList}};
  struct Table {
    uint32_t Base;
    std::span<const char* const> Names;
    const char* What;
  };
  const Table Tables[] = {{kBootTraps, kBootServiceNames, "boot service"},
                          {kRuntimeTraps, kRuntimeServiceNames, "runtime service"},
                          {kHiiTraps, kHiiDatabaseNames, "HII database"}};
  sio::Result<uint32_t> Status = sio::Fail(sio::ErrorKind::Failed, "no service");
  auto Found = std::find_if(std::begin(Served), std::end(Served),
                            [&](const auto& S) { return S.first == Address; });
  if (Found != std::end(Served)) {
    Status = (this->*Found->second)();
  } else {
    for (const Table& T : Tables) {
      if (Address >= T.Base && Address < T.Base + kTrapStride * T.Names.size() &&
          (Address - T.Base) % kTrapStride == 0) {
        return sio::Fail(sio::ErrorKind::Failed, std::string("call to ") + T.What + " " +
                                                     T.Names[(Address - T.Base) / kTrapStride] +
                                                     ", which the model does not provide");
      }
    }
    return sio::Fail(sio::ErrorKind::Failed, "unknown service trap " + Hex8(Address) +
                                                 " (called from " + Hex8(*Return) + ")");
  }
  if (!Status)
    return Status.Failure();
  ReturnFromCall(Uc_, Mode_, *Status, *Return);
  return {};
}

sio::Result<uint32_t> DxeServiceTraps::LocateProtocol() {
  const char* S = "LocateProtocol";
  auto Read = Arguments<3>(S);
  if (!Read)
    return Read.Failure();
  auto [GuidAt, Registration, InterfaceOut] = *Read;
  if (GuidAt == 0 || InterfaceOut == 0)
    return Record(S, pi::kEfiInvalidParameter, "NULL protocol or interface pointer");
  auto Guid = ReadGuid(GuidAt, S);
  if (!Guid)
    return Guid.Failure();
  const std::string Detail = GuidText(*Guid);
  if (Faults_.LocateProtocolStatus)
    return Record(S, *Faults_.LocateProtocolStatus, Detail);
  uint64_t Interface = 0;
  uint32_t Status = pi::kEfiNotFound;
  if (*Guid == pi::kHiiDatabaseProtocolGuid) {
    Status = pi::kEfiSuccess;
    Interface = Faults_.LocateReturnsNull ? 0 : kHiiDatabaseProtocol;
  }
  if (Status == pi::kEfiSuccess && !Memory_.WriteWord(InterfaceOut, Interface, Width_))
    return sio::Fail(sio::ErrorKind::Failed, "LocateProtocol: Interface result at " +
                                                 Hex8(InterfaceOut) +
                                                 " is not writable stack memory");
  return Record(S, Status, Detail);
}

sio::Result<uint32_t> DxeServiceTraps::InstallMultipleProtocolInterfaces() {
  const char* S = "InstallMultipleProtocolInterfaces";
  auto HandleAt = Argument(0, S);
  if (!HandleAt)
    return HandleAt.Failure();
  if (*HandleAt == 0)
    return Record(S, pi::kEfiInvalidParameter, "NULL handle pointer");
  auto Handle = Memory_.ReadWord(*HandleAt, Width_);
  if (!Handle)
    return sio::Fail(sio::ErrorKind::Failed, "InstallMultipleProtocolInterfaces: handle at " +
                                                 Hex8(*HandleAt) + " unreadable");
  // The GUID and interface pairs, up to the NULL GUID pointer.
  std::vector<std::pair<pi::Guid, uint64_t>> Pairs;
  std::string Detail;
  for (size_t I = 0;; ++I) {
    if (I == kMaxInterfacePairs)
      return sio::Fail(sio::ErrorKind::Failed, "InstallMultipleProtocolInterfaces: no NULL after " +
                                                   std::to_string(kMaxInterfacePairs) +
                                                   " protocols");
    auto GuidAt = Argument(1 + 2 * I, S);
    if (!GuidAt)
      return GuidAt.Failure();
    if (*GuidAt == 0)
      break;
    auto Interface = Argument(2 + 2 * I, S);
    if (!Interface)
      return Interface.Failure();
    auto Guid = ReadGuid(*GuidAt, S);
    if (!Guid)
      return Guid.Failure();
    Pairs.emplace_back(*Guid, *Interface);
    Detail += (Detail.empty() ? "" : ", ") + GuidText(*Guid);
  }
  if (*Handle != 0 && std::find(Handles_.begin(), Handles_.end(), *Handle) == Handles_.end())
    return Record(S, pi::kEfiInvalidParameter, "handle " + Hex8(*Handle) + " unknown");
  if (Faults_.InstallStatus)
    return Record(S, *Faults_.InstallStatus, Detail);
  if (Pairs.empty())
    return Record(S, pi::kEfiInvalidParameter, "no protocol");
  // A device path is read node by node up to its end node, as the firmware
  // would when it matches the handle.
  std::vector<uint8_t> Path;
  bool HasPath = false;
  for (const auto& [Guid, Interface] : Pairs) {
    if (Guid != pi::kDevicePathProtocolGuid)
      continue;
    if (Interface == 0)
      return Record(S, pi::kEfiInvalidParameter, "NULL device path");
    for (uint64_t At = Interface;;) {
      uint8_t Node[4];
      if (!Memory_.Read(At, Node, 4))
        return sio::Fail(sio::ErrorKind::Failed,
                         "InstallMultipleProtocolInterfaces: device path node at " + Hex8(At) +
                             " unreadable");
      const uint16_t Length = static_cast<uint16_t>(Node[2] | Node[3] << 8);
      if (Length < 4 || Path.size() + Length > kMaxDevicePathBytes)
        return Record(S, pi::kEfiInvalidParameter, "malformed device path");
      std::vector<uint8_t> Bytes(Length);
      if (!Memory_.Read(At, Bytes.data(), Length))
        return sio::Fail(sio::ErrorKind::Failed,
                         "InstallMultipleProtocolInterfaces: device path node at " + Hex8(At) +
                             " unreadable");
      Path.insert(Path.end(), Bytes.begin(), Bytes.end());
      if (Node[0] == 0x7F && Node[1] == 0xFF)
        break;
      At += Length;
    }
    HasPath = true;
  }
  uint64_t Target = *Handle;
  if (Target == 0) {
    if (Handles_.size() == kMaxHandles)
      return Record(S, pi::kEfiOutOfResources, Detail);
    Target = kFirstNewHandle + 0x10 * Handles_.size();
    if (!Memory_.WriteWord(*HandleAt, Target, Width_))
      return sio::Fail(sio::ErrorKind::Failed, "InstallMultipleProtocolInterfaces: handle at " +
                                                   Hex8(*HandleAt) +
                                                   " is not writable stack memory");
    Handles_.push_back(Target);
  }
  if (HasPath) {
    DevicePathHandles_.push_back(Target);
    Out_.DevicePath = Path;
  }
  return Record(S, pi::kEfiSuccess, Detail + " on " + Hex8(Target));
}

sio::Result<uint32_t> DxeServiceTraps::GetVariable() {
  const char* S = "GetVariable";
  auto Read = Arguments<5>(S);
  if (!Read)
    return Read.Failure();
  auto [NameAt, GuidAt, AttributesOut, SizeAt, DataAt] = *Read;
  if (NameAt == 0 || GuidAt == 0 || SizeAt == 0)
    return Record(S, pi::kEfiInvalidParameter, "NULL name, GUID or size");
  auto Name = ReadName(NameAt, S);
  if (!Name)
    return Name.Failure();
  auto Guid = ReadGuid(GuidAt, S);
  if (!Guid)
    return Guid.Failure();
  auto Buffer = Memory_.ReadWord(SizeAt, Width_);
  if (!Buffer)
    return sio::Fail(sio::ErrorKind::Failed,
                     "GetVariable: DataSize at " + Hex8(SizeAt) + " unreadable");
  std::string Detail = NameText(*Name) + ", buffer " + std::to_string(*Buffer) + " bytes";
  if (Faults_.GetVariableStatus)
    return Record(S, *Faults_.GetVariableStatus, Detail);
  auto Found = Variables_.find({*Name, *Guid});
  if (Found == Variables_.end())
    return Record(S, pi::kEfiNotFound, Detail);
  const Stored& V = Found->second;
  if (V.Data.size() > *Buffer) {
    if (!Memory_.WriteWord(SizeAt, V.Data.size(), Width_))
      return sio::Fail(sio::ErrorKind::Failed, "GetVariable: DataSize at " + Hex8(SizeAt) +
                                                   " is not writable stack memory");
    return Record(S, pi::kEfiBufferTooSmall, Detail + ", needs " + std::to_string(V.Data.size()));
  }
  if (DataAt == 0 && !V.Data.empty())
    return Record(S, pi::kEfiInvalidParameter, Detail + ", NULL data");
  if (!V.Data.empty() && !Memory_.Write(DataAt, V.Data.data(), V.Data.size()))
    return sio::Fail(sio::ErrorKind::Failed, "GetVariable: buffer at " + Hex8(DataAt) + " (" +
                                                 std::to_string(V.Data.size()) +
                                                 " bytes) is not writable stack memory");
  if (!Memory_.WriteWord(SizeAt, V.Data.size(), Width_))
    return sio::Fail(sio::ErrorKind::Failed,
                     "GetVariable: DataSize at " + Hex8(SizeAt) + " is not writable stack memory");
  if (AttributesOut != 0 && !Memory_.WriteWord(AttributesOut, V.Attributes, 4))
    return sio::Fail(sio::ErrorKind::Failed, "GetVariable: Attributes at " + Hex8(AttributesOut) +
                                                 " is not writable stack memory");
  return Record(S, pi::kEfiSuccess, Detail + ", read " + std::to_string(V.Data.size()));
}

sio::Result<uint32_t> DxeServiceTraps::SetVariable() {
  const char* S = "SetVariable";
  auto Read = Arguments<5>(S);
  if (!Read)
    return Read.Failure();
  auto [NameAt, GuidAt, AttributesArg, Size, DataAt] = *Read;
  const uint32_t Attributes = static_cast<uint32_t>(AttributesArg); // a UINT32
  if (Mode_ == ProcessorMode::Ia32)
    Size &= 0xFFFFFFFFu;
  if (NameAt == 0 || GuidAt == 0)
    return Record(S, pi::kEfiInvalidParameter, "NULL name or GUID");
  auto Name = ReadName(NameAt, S);
  if (!Name)
    return Name.Failure();
  auto Guid = ReadGuid(GuidAt, S);
  if (!Guid)
    return Guid.Failure();
  std::string Detail = NameText(*Name) + ", " + std::to_string(Size) + " bytes, attributes " +
                       sio::Hex(Attributes, 2);
  if (Size > kMaxVariableBytes || (Size != 0 && DataAt == 0))
    return Record(S, pi::kEfiInvalidParameter, Detail);
  std::vector<uint8_t> Data(Size);
  if (Size != 0 && !Memory_.Read(DataAt, Data.data(), Data.size()))
    return sio::Fail(sio::ErrorKind::Failed,
                     "SetVariable: data at " + Hex8(DataAt) + " unreadable");
  if (Faults_.SetVariableStatus)
    return Record(S, *Faults_.SetVariableStatus, Detail);
  const Key Where{*Name, *Guid};
  auto Found = Variables_.find(Where);
  uint32_t Status = pi::kEfiSuccess;
  if (Size == 0 || Attributes == 0) {
    if (Found == Variables_.end())
      Status = pi::kEfiNotFound;
    else
      Variables_.erase(Found);
  } else if (Found != Variables_.end() && Found->second.Attributes != Attributes) {
    Status = pi::kEfiInvalidParameter; // attributes of a variable do not change
  } else {
    Variables_[Where] = {std::move(Data), Attributes};
  }
  const Key Setup{std::u16string(chip::kSetupVariableName), pi::kSioSetupVendorGuid};
  if (auto It = Variables_.find(Setup); It != Variables_.end()) {
    Out_.SetupVariable = It->second.Data;
    Out_.SetupAttributes = It->second.Attributes;
  } else {
    Out_.SetupVariable.reset();
    Out_.SetupAttributes = 0;
  }
  return Record(S, Status, Detail);
}

sio::Result<uint32_t> DxeServiceTraps::NewPackageList() {
  const char* S = "NewPackageList";
  auto Read = Arguments<4>(S);
  if (!Read)
    return Read.Failure();
  auto [This, ListAt, DriverHandle, HandleOut] = *Read;
  if (This != kHiiDatabaseProtocol)
    return sio::Fail(sio::ErrorKind::Failed, "NewPackageList: This " + Hex8(This) +
                                                 " is not the HII database " +
                                                 Hex8(kHiiDatabaseProtocol));
  if (ListAt == 0 || HandleOut == 0)
    return Record(S, pi::kEfiInvalidParameter, "NULL package list or handle pointer");
  uint8_t Header[20];
  if (!Memory_.Read(ListAt, Header, sizeof Header))
    return sio::Fail(sio::ErrorKind::Failed,
                     "NewPackageList: package list at " + Hex8(ListAt) + " unreadable");
  uint32_t Length = 0;
  std::memcpy(&Length, Header + 16, 4);
  std::string Detail = std::to_string(Length) + " bytes, driver handle " + Hex8(DriverHandle);
  if (Length < sizeof Header || Length > kMaxPackageListBytes)
    return Record(S, pi::kEfiInvalidParameter, Detail);
  std::vector<uint8_t> List(Length);
  if (!Memory_.Read(ListAt, List.data(), List.size()))
    return sio::Fail(sio::ErrorKind::Failed, "NewPackageList: package list at " + Hex8(ListAt) +
                                                 " (" + std::to_string(Length) +
                                                 " bytes) unreadable");
  if (Faults_.NewPackageListStatus)
    return Record(S, *Faults_.NewPackageListStatus, Detail);
  if (DriverHandle != 0 &&
      std::find(Handles_.begin(), Handles_.end(), DriverHandle) == Handles_.end())
    return Record(S, pi::kEfiInvalidParameter, Detail + " (unknown)");
  if (!Memory_.WriteWord(HandleOut, kHiiPackageListHandle, Width_))
    return sio::Fail(sio::ErrorKind::Failed, "NewPackageList: Handle at " + Hex8(HandleOut) +
                                                 " is not writable stack memory");
  Out_.PackageList = std::move(List);
  Out_.DevicePathInstalled = std::find(DevicePathHandles_.begin(), DevicePathHandles_.end(),
                                       DriverHandle) != DevicePathHandles_.end();
  return Record(S, pi::kEfiSuccess, Detail);
}

DxeRunReport RunDxeImage(const std::vector<uint8_t>& Image, const DxeScenario& Scenario,
                         const ImageRunOptions& Options) {
  DxeRunReport Report;
  TrapsFactory Traps = [&](uc_engine* Uc, ProcessorMode Mode, GuestMemory& Memory) {
    // A rehearsal's services record into the child's copy of the report; the
    // run proper starts from a fresh one.
    Report = DxeRunReport{};
    return std::make_unique<DxeServiceTraps>(Uc, Mode, Memory, Scenario, Report);
  };
  board::Scenario NoChip;
  NoChip.ChipPort.reset();
  ImageRunReport Run = RunImageWith(Image, NoChip, Traps, Options);
  Report.Completed = Run.Completed;
  Report.Fault = Run.Fault;
  Report.Status = Run.Result.Status;
  Report.Instructions = Run.Instructions;
  Report.StackHighWater = Run.StackHighWater;
  Report.Mode = Run.Mode;
  if (!Run.Completed && Report.Calls.empty()) {
    Report.SetupVariable = Scenario.SetupVariable;
    Report.SetupAttributes = Scenario.SetupVariable ? Scenario.SetupAttributes : 0;
  }
  return Report;
}

} // namespace emulator
