#include "inspect/ChipReader.h"

#include <cstdio>
#include <map>

#include "inspect/ModulePortBridge.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"
#include "sio/SioDiscovery.h"
#include "tool/JsonFields.h"
#include "tool/RegisterMap.h"

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

// One probe of P with the module's protocol (the module's discovery probe,
// for a single port): enter key twice, register 0x20, and register 0x21 only
// when 0x20 matched.
bool ProbeOnly(uint16_t P) {
  const SioDeviceEntry& Entry = ConfigEntry();
  SioEnterConfig(P);
  if (SioReadReg(P, SioRegChipIdHigh) != Entry.ChipIdHigh)
    return false;
  return Entry.ChipIdLow == 0 || SioReadReg(P, SioRegChipIdLow) == Entry.ChipIdLow;
}

// Finds the chip as Options say; 0 when none identified itself.
uint16_t Discover(const InspectOptions& Options) {
  if (Options.Port)
    return ProbeOnly(*Options.Port) ? *Options.Port : 0;
  return SioFindConfigPort(SioDeviceTable);
}

// Reads Set at P, the chip in configuration mode; leaves it out of it.
void ReadRegisters(uint16_t P, const RegisterSet& Set, ChipReading& Out) {
  Out.SelectedBefore = SioReadReg(P, SioRegLogicalDevice);
  for (uint8_t Reg : Set.Globals) {
    uint8_t Value = Reg == SioRegLogicalDevice ? Out.SelectedBefore : SioReadReg(P, Reg);
    Out.Values.push_back({{std::nullopt, Reg}, Value});
  }
  for (uint8_t Device : Set.Devices) {
    SioSelectDevice(P, Device);
    for (uint8_t Reg : Set.DeviceRegisters)
      Out.Values.push_back({{Device, Reg}, SioReadReg(P, Reg)});
  }
  Out.SelectedAfter = Out.SelectedBefore;
  if (!Set.Devices.empty()) {
    SioSelectDevice(P, Out.SelectedBefore);
    Out.SelectedAfter = SioReadReg(P, SioRegLogicalDevice);
  }
  SioExitConfig(P);
}

// Index ports probed: each probe selects the chip ID's high byte at its port.
std::vector<uint16_t> ProbedPorts(const board::Trace& Events) {
  std::vector<uint16_t> Ports;
  for (const auto& Event : Events) {
    if (Event.Kind == board::EventKind::IoWrite && Event.Value == SioRegChipIdHigh)
      Ports.push_back(Event.Port);
  }
  return Ports;
}

std::string PortList(const std::vector<uint16_t>& Ports) {
  std::string Text;
  for (uint16_t Port : Ports)
    Text += (Text.empty() ? "" : ", ") + siotool::Hex(Port, 4);
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
uint16_t ModuleFirstPort() {
  return ConfigEntry().IoBase;
}

sio::Result<ChipReading> InspectChip(PortAccess& Ports, const InspectOptions& Options) {
  ChipReading Out;
  ModulePortBridge Bridge(Ports);
  uint16_t P = Discover(Options);
  Out.PortsProbed = ProbedPorts(Bridge.Accesses());
  if (Bridge.Failure())
    return *Bridge.Failure();
  if (P == 0) {
    return sio::Fail("no chip found: no chip answered with ID " +
                     siotool::Hex(ExpectedChipIdHigh()) + " " + siotool::Hex(ExpectedChipIdLow()) +
                     " at " + PortList(Out.PortsProbed));
  }
  Out.IndexPort = P;
  ReadRegisters(P, Options.All ? AllRegisters() : ModuleRegisters(), Out);
  Out.Accesses = Bridge.Accesses();
  if (Bridge.Failure())
    return *Bridge.Failure();
  return Out;
}

namespace {

// Ports that answer as a chip matching the ID's high byte but not its low
// byte, so that a planned discovery walks every port it would probe.
class PlanPorts final : public PortAccess {
public:
  sio::Result<uint8_t> Read(uint16_t Port) override {
    uint8_t Index = Index_[static_cast<uint16_t>(Port - 1)];
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

std::string Line(const board::TraceEvent& Event, const std::string& Written,
                 const std::string& Meaning) {
  char Text[96];
  if (Event.Kind == board::EventKind::IoRead)
    std::snprintf(Text, sizeof Text, "  in8  0x%04X", Event.Port);
  else
    std::snprintf(Text, sizeof Text, "  out8 0x%04X <- %s", Event.Port, Written.c_str());
  std::string Out = Text;
  Out.resize(std::max<size_t>(Out.size() + 1, 30), ' ');
  return Out + Meaning;
}

std::string Register(std::optional<uint8_t> Device, uint8_t Reg) {
  std::string Name = siotool::RegisterName(Device.value_or(0), Reg);
  return "register " + siotool::Hex(Reg) + (Name.empty() ? "" : " (" + Name + ")");
}

// Meaning of each planned access. A probe writes only to index ports and
// reads their data ports; the reading of the chip at P writes the index port
// P, reads its data port, and writes the data port only to select a device
// (the last such write puts back the value found).
void AddPlanLines(std::vector<std::string>& Lines, const board::Trace& Events,
                  std::optional<uint16_t> P) {
  std::map<uint16_t, uint8_t> Index;
  std::optional<uint8_t> Device;
  size_t LastSelect = Events.size();
  for (size_t I = 0; I < Events.size(); ++I) {
    if (P && Events[I].Kind == board::EventKind::IoWrite && Events[I].Port != *P)
      LastSelect = I;
  }
  for (size_t I = 0; I < Events.size(); ++I) {
    const auto& E = Events[I];
    std::string Value = siotool::Hex(E.Value);
    if (E.Kind == board::EventKind::IoWrite && (!P || E.Port == *P)) {
      Index[E.Port] = static_cast<uint8_t>(E.Value);
      if (E.Value == SioEnterKey)
        Lines.push_back(Line(E, Value, "enter key"));
      else if (P && E.Value == SioExitKey)
        Lines.push_back(Line(E, Value, "exit key: configuration mode closed"));
      else
        Lines.push_back(Line(E, Value, "index: " + Register(Device, uint8_t(E.Value))));
    } else if (E.Kind == board::EventKind::IoWrite) {
      if (I == LastSelect) {
        Lines.push_back(Line(E, "V", "put register 0x07 back to V, the value read first"));
      } else {
        Device = static_cast<uint8_t>(E.Value);
        Lines.push_back(Line(E, Value, "select logical device " + std::to_string(E.Value)));
      }
    } else {
      uint8_t Reg = Index[static_cast<uint16_t>(E.Port - 1)];
      std::string Meaning = "read " + Register(Device, Reg);
      if (!P && Reg == SioRegChipIdHigh)
        Meaning += ": " + siotool::Hex(ExpectedChipIdHigh()) + " expected, else the next port";
      if (!P && Reg == SioRegChipIdLow)
        Meaning += ": " + siotool::Hex(ExpectedChipIdLow()) +
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
    (void)Discover(Options);
    Lines.push_back(Options.Port ? "Probe of index port " + siotool::Hex(*Options.Port, 4) + ":"
                                 : "Discovery, in the module's order (" +
                                       PortList(ProbedPorts(Bridge.Accesses())) +
                                       "), stopping at the first port whose ID matches:");
    AddPlanLines(Lines, Bridge.Accesses(), std::nullopt);
  }
  uint16_t P = Options.Port.value_or(ModuleFirstPort());
  ChipReading Unused;
  ModulePortBridge Bridge(Ports);
  ReadRegisters(P, Options.All ? AllRegisters() : ModuleRegisters(), Unused);
  Lines.push_back("Reading the chip found, shown for index port " + siotool::Hex(P, 4) +
                  " (the same accesses at any other):");
  AddPlanLines(Lines, Bridge.Accesses(), P);
  return Lines;
}

} // namespace inspect
