// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/ChipReader.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>

#include "chip/RegisterNames.h"
#include "chip/Registers.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "inspect/ModulePortBridge.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"
#include "sio/SioDiscovery.h"

namespace inspect {
namespace {

// The device-table entry that names the configuration port.
constexpr const SioDeviceEntry& ConfigEntry() {
  for (const SioDeviceEntry& Entry : SioDeviceTable) {
    if (Entry.Kind == SioKindConfig)
      return Entry;
  }
  return SioDeviceTable[0];
}
static_assert(ConfigEntry().Kind == SioKindConfig && ConfigEntry().IoBase != 0);

// What must be put back when the reading ends early: the port whose enter
// keys were written (from the first of them on, as that write may have
// reached the chip even when it failed) and not yet closed by the exit key,
// and register 0x07 as found there, once read.
struct OpenChip {
  std::optional<uint16_t> Port;
  std::optional<uint8_t> SelectedBefore;
};

// One probe of P with the module's protocol (the module's discovery probe,
// for a single port): enter key twice, register 0x20, and register 0x21 only
// when 0x20 matched. The module's own probe (firmware/sio/SioDiscovery.cpp)
// is internal to its discovery loop, which the build unrolls over the device
// table into the image; the reading needs one port at a time (it closes each
// port without a match and tracks which port is open), so it keeps this copy
// of the three steps, built from the module's own port functions and held to
// the module's accesses by tests/inspect/ChipReaderTest.cpp
// (FindsTheChipAtEachPortWithTheModulesOwnProbes).
bool ProbeOnly(uint16_t P) {
  const SioDeviceEntry& Entry = ConfigEntry();
  SioEnterConfig(P);
  if (SioReadReg(P, SioRegChipIdHigh) != Entry.ChipIdHigh)
    return false;
  return Entry.ChipIdLow == 0 || SioReadReg(P, SioRegChipIdLow) == Entry.ChipIdLow;
}

// Finds the chip as Options say, probing the ports in the module's order and
// adding each to Probed; 0 when none identified itself or the bridge stopped.
// Unlike the module, which leaves a chip of the family that answered with
// another ID in configuration mode, it writes the exit key at every port
// whose probe found no match.
uint16_t Discover(const InspectOptions& Options, const ModulePortBridge& Bridge, OpenChip& Open,
                  std::vector<uint16_t>& Probed) {
  std::vector<uint16_t> Ports =
      Options.Port ? std::vector<uint16_t>{*Options.Port} : ModuleProbeOrder(Options.Board);
  for (uint16_t P : Ports) {
    Probed.push_back(P);
    size_t Before = Bridge.Attempts();
    bool Match = ProbeOnly(P);
    if (Bridge.Attempts() > Before)
      Open.Port = P; // the first enter key went out
    if (Bridge.Stopped())
      return 0;
    if (Match)
      return P;
    SioExitConfig(P);
    if (Bridge.Stopped())
      return 0;
    Open.Port.reset();
  }
  return 0;
}

// Reads Set at P, the chip in configuration mode; leaves it out of it. Stops
// as soon as the bridge does, the chip still open.
void ReadRegisters(uint16_t P, const RegisterSet& Set, const ModulePortBridge& Bridge,
                   OpenChip& Open, ChipReading& Out) {
  Out.SelectedBefore = SioReadReg(P, SioRegLogicalDevice);
  if (Bridge.Stopped())
    return;
  Open.SelectedBefore = Out.SelectedBefore;
  for (uint8_t Reg : Set.Globals) {
    uint8_t Value = Reg == SioRegLogicalDevice ? Out.SelectedBefore : SioReadReg(P, Reg);
    if (Bridge.Stopped())
      return;
    Out.Values.push_back({{std::nullopt, Reg}, Value});
  }
  for (uint8_t Device : Set.Devices) {
    SioSelectDevice(P, Device);
    for (uint8_t Reg : Set.DeviceRegisters) {
      uint8_t Value = SioReadReg(P, Reg);
      if (Bridge.Stopped())
        return;
      Out.Values.push_back({{Device, Reg}, Value});
    }
  }
  Out.SelectedAfter = Out.SelectedBefore;
  if (!Set.Devices.empty()) {
    SioSelectDevice(P, Out.SelectedBefore);
    Out.SelectedAfter = SioReadReg(P, SioRegLogicalDevice);
    if (Bridge.Stopped())
      return;
  }
  SioExitConfig(P);
  if (!Bridge.Stopped())
    Open.Port.reset();
}

// One write straight to the ports, whatever the bridge's state; an exception
// counts as its failure.
sio::Result<void> WriteOnce(PortAccess& Ports, uint16_t Port, uint8_t Value) {
  try {
    return Ports.Write(Port, Value);
  } catch (const std::exception& Error) {
    return sio::Fail(std::string("internal error: ") + Error.what());
  } catch (...) {
    return sio::Fail("internal error");
  }
}

// Puts the chip at Open.Port back after the reading stopped early: register
// 0x07 to the value found (when it was read), then the exit key, each access
// made once (the data write only after its index write went through, so
// that it cannot land in another register). Says what it did.
std::string PutBack(PortAccess& Ports, const OpenChip& Open) {
  uint16_t P = *Open.Port;
  std::string Said;
  if (Open.SelectedBefore) {
    auto Index = WriteOnce(Ports, P, SioRegLogicalDevice);
    auto Done = Index ? WriteOnce(Ports, SioDataPort(P), *Open.SelectedBefore) : Index;
    Said = Done ? "register 0x07 put back to " + sio::Hex(*Open.SelectedBefore, 2) + ", "
                : "register 0x07 not put back (" + Done.Message() + "), ";
  }
  auto Exit = WriteOnce(Ports, P, SioExitKey);
  if (!Exit)
    return Said + "exit key not written (" + Exit.Message() + "): the chip at " + sio::Hex(P, 4) +
           " may be left in configuration mode";
  return Said + "exit key written at " + sio::Hex(P, 4);
}

std::string PortList(const std::vector<uint16_t>& Ports) {
  std::string Text;
  for (uint16_t Port : Ports)
    Text += (Text.empty() ? "" : ", ") + sio::Hex(Port, 4);
  return Text;
}

} // namespace

std::optional<uint8_t> ChipReading::Value(const RegisterKey& Key) const {
  for (const auto& [K, V] : Values) {
    if (K == Key)
      return V;
  }
  return std::nullopt;
}

uint8_t ExpectedChipIdHigh() {
  return ConfigEntry().ChipIdHigh;
}
uint8_t ExpectedChipIdLow() {
  return ConfigEntry().ChipIdLow;
}
uint16_t ModuleFirstPort(const chip::BoardValues& Board) {
  std::vector<uint16_t> Order = ModuleProbeOrder(Board);
  return Order.empty() ? 0 : Order.front();
}

// As the module's discovery: each configuration entry of the device table
// probes the record's ports in order, skipping the ones that are 0.
std::vector<uint16_t> ModuleProbeOrder(const chip::BoardValues& Board) {
  std::vector<uint16_t> Ports;
  const std::vector<uint16_t> Record = Board.ProbeOrder();
  for (const SioDeviceEntry& Entry : SioDeviceTable) {
    if (SioIsTerminator(Entry))
      break;
    if (Entry.Kind == SioKindConfig)
      Ports.insert(Ports.end(), Record.begin(), Record.end());
  }
  return Ports;
}

std::vector<uint16_t> ModuleIndexPorts(const chip::BoardValues& Board) {
  std::vector<uint16_t> Ports;
  for (uint16_t P : ModuleProbeOrder(Board)) {
    if (std::find(Ports.begin(), Ports.end(), P) == Ports.end())
      Ports.push_back(P);
  }
  return Ports;
}

std::string LiveProbeNotice(const InspectOptions& Options, const std::string& Device) {
  std::vector<uint16_t> Ports = ModuleIndexPorts(Options.Board);
  if (Options.Port || Ports.size() < 2)
    return {};
  return Device + ": probing up to " + std::to_string(Ports.size()) + " index ports (" +
         PortList(Ports) +
         ") goes around the kernel's own drivers of these ports, which may be using one of them "
         "for another device; give --chip-port P to probe only the chip's port";
}

sio::Result<ChipReading> InspectChip(PortAccess& Ports, const InspectOptions& Options,
                                     const SignalHold* Hold) {
  RecordingPorts Recorded(Ports);
  ChipReading Out;
  OpenChip Open;
  std::optional<sio::Error> Failure;
  std::exception_ptr Thrown;
  {
    ModulePortBridge Bridge(Recorded, Hold);
    try {
      uint16_t P = Discover(Options, Bridge, Open, Out.PortsProbed);
      if (P != 0) {
        Out.IndexPort = P;
        ReadRegisters(P, Options.All ? AllRegisters() : ModuleRegisters(Options.Board), Bridge,
                      Open, Out);
      }
    } catch (...) {
      Thrown = std::current_exception();
    }
    Failure = Bridge.Failure();
    if (!Thrown)
      Thrown = Bridge.Thrown();
  }
  // Only a reading that stopped early leaves a port open.
  if (Open.Port) {
    std::string Back = PutBack(Recorded, Open);
    if (Thrown)
      std::rethrow_exception(Thrown);
    return sio::Fail(Failure ? Failure->Kind : sio::ErrorKind::Failed,
                     (Failure ? Failure->Message : std::string("stopped")) + "; " + Back);
  }
  if (Thrown)
    std::rethrow_exception(Thrown);
  if (Failure)
    return *Failure;
  if (Out.IndexPort == 0) {
    return sio::Fail(sio::ErrorKind::Failed, "no chip found: no chip answered with ID " +
                                                 sio::Hex(ExpectedChipIdHigh(), 2) + " " +
                                                 sio::Hex(ExpectedChipIdLow(), 2) + " at " +
                                                 PortList(Out.PortsProbed));
  }
  Out.Accesses = Recorded.Log();
  return Out;
}

namespace {

// Ports that answer as a chip matching the ID's high byte but not its low
// byte, so that a planned discovery walks every port it would probe.
class PlanPorts final : public PortAccess {
public:
  sio::Result<uint8_t> Read(uint16_t Port) override {
    uint8_t Index = Index_[chip::IndexPortOf(Port)];
    if (Index == SioRegChipIdHigh)
      return ExpectedChipIdHigh();
    if (Index == SioRegChipIdLow)
      return static_cast<uint8_t>(~ExpectedChipIdLow());
    return 0;
  }
  sio::Result<void> Write(uint16_t Port, uint8_t Value) override {
    Index_[Port] = Value;
    return {};
  }

private:
  std::map<uint16_t, uint8_t> Index_;
};

std::string Line(const pi::TraceEvent& Event, const std::string& Written,
                 const std::string& Meaning) {
  char Text[96];
  if (Event.Kind == pi::EventKind::IoRead)
    std::snprintf(Text, sizeof Text, "  in8  0x%04X", Event.Port);
  else
    std::snprintf(Text, sizeof Text, "  out8 0x%04X <- %s", Event.Port, Written.c_str());
  std::string Out = Text;
  Out.resize(std::max<size_t>(Out.size() + 1, 30), ' ');
  return Out + Meaning;
}

std::string Register(std::optional<uint8_t> Device, uint8_t Reg) {
  std::string Name = chip::RegisterName(Device.value_or(0), Reg);
  return "register " + sio::Hex(Reg, 2) + (Name.empty() ? "" : " (" + Name + ")");
}

// Meaning of each planned access. A probe writes only to index ports and
// reads their data ports; the reading of the chip at P writes the index port
// P, reads its data port, and writes the data port only to select a device
// (the last such write puts back the value found).
void AddPlanLines(std::vector<std::string>& Lines, const pi::Trace& Events,
                  std::optional<uint16_t> P) {
  std::map<uint16_t, uint8_t> Index;
  std::optional<uint8_t> Device;
  size_t LastSelect = Events.size();
  for (size_t I = 0; I < Events.size(); ++I) {
    if (P && Events[I].Kind == pi::EventKind::IoWrite && Events[I].Port != *P)
      LastSelect = I;
  }
  for (size_t I = 0; I < Events.size(); ++I) {
    const auto& E = Events[I];
    std::string Value = sio::Hex(E.Value, 2);
    if (E.Kind == pi::EventKind::IoWrite && (!P || E.Port == *P)) {
      Index[E.Port] = static_cast<uint8_t>(E.Value);
      if (E.Value == SioEnterKey)
        Lines.push_back(Line(E, Value, "enter key"));
      else if (E.Value == SioExitKey)
        Lines.push_back(Line(E, Value,
                             P ? "exit key: configuration mode closed"
                               : "exit key, when the ID did not match: configuration mode "
                                 "closed at this port"));
      else
        Lines.push_back(Line(E, Value, "index: " + Register(Device, uint8_t(E.Value))));
    } else if (E.Kind == pi::EventKind::IoWrite) {
      if (I == LastSelect) {
        Lines.push_back(Line(E, "V", "put register 0x07 back to V, the value read first"));
      } else {
        Device = static_cast<uint8_t>(E.Value);
        Lines.push_back(Line(E, Value, "select logical device " + std::to_string(E.Value)));
      }
    } else {
      uint8_t Reg = Index[chip::IndexPortOf(E.Port)];
      std::string Meaning = "read " + Register(Device, Reg);
      if (!P && Reg == SioRegChipIdHigh)
        Meaning += ": " + sio::Hex(ExpectedChipIdHigh(), 2) + " expected, else the next port";
      if (!P && Reg == SioRegChipIdLow)
        Meaning += ": " + sio::Hex(ExpectedChipIdLow(), 2) +
                   " expected; on a match the chip is here and discovery stops";
      if (P && Reg == SioRegLogicalDevice)
        Meaning += Device ? ", to check it is back" : ": V, kept to put back";
      Lines.push_back(Line(E, "", Meaning));
    }
  }
}

} // namespace

std::vector<std::string> PlanInspection(const InspectOptions& Options) {
  std::vector<std::string> Lines;
  PlanPorts Ports;
  {
    ModulePortBridge Bridge(Ports);
    OpenChip Open;
    std::vector<uint16_t> Probed;
    (void)Discover(Options, Bridge, Open, Probed);
    Lines.push_back(Options.Port ? "Probe of index port " + sio::Hex(*Options.Port, 4) + ":"
                                 : "Discovery, in the module's order (" + PortList(Probed) +
                                       "), stopping at the first port whose ID matches:");
    AddPlanLines(Lines, Bridge.Accesses(), std::nullopt);
  }
  uint16_t P = Options.Port.value_or(ModuleFirstPort(Options.Board));
  if (P == 0)
    return Lines; // no port to probe, so no chip to read
  ChipReading Unused;
  OpenChip Open;
  ModulePortBridge Bridge(Ports);
  ReadRegisters(P, Options.All ? AllRegisters() : ModuleRegisters(Options.Board), Bridge, Open,
                Unused);
  Lines.push_back("Reading the chip found, shown for index port " + sio::Hex(P, 4) +
                  " (the same accesses at any other):");
  AddPlanLines(Lines, Bridge.Accesses(), P);
  return Lines;
}

} // namespace inspect
