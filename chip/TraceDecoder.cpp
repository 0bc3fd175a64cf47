// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "chip/TraceDecoder.h"

#include "chip/PlatformPorts.h"
#include "chip/RegisterNames.h"
#include "chip/Registers.h"
#include "chip/SetupLayout.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "pi/KnownGuids.h"

using sio::Hex;

namespace chip {
namespace {

std::string Named(const std::string& Name) {
  return Name.empty() ? "" : " (" + Name + ")";
}

// Bits set in Mask, as "bit 2" or "bits 1, 2".
std::string BitList(uint8_t Mask) {
  std::string List;
  int Count = 0;
  for (int Bit = 0; Bit < 8; ++Bit) {
    if (Mask & (1 << Bit)) {
      List += (Count++ ? ", " : "") + std::to_string(Bit);
    }
  }
  return (Count == 1 ? "bit " : "bits ") + List;
}

std::string LpcBridgeRegisterName(uint8_t Offset) {
  switch (Offset) {
  case 0x80:
    return "I/O decode ranges, low byte";
  case 0x81:
    return "I/O decode ranges, high byte";
  case 0x82:
    return "LPC decode enables, low byte";
  case 0x83:
    return "LPC decode enables, high byte";
  default:
    return {};
  }
}

// What a register value means, where the layout gives it.
// What writing Value to register Reg means, where the layout gives it.
std::string WriteMeaning(uint8_t Device, uint8_t Reg, uint8_t Value,
                         const std::map<std::pair<uint8_t, uint8_t>, uint8_t>& Known) {
  std::string Name = RegisterName(Device, Reg);
  if (Reg < kFirstDeviceRegister)
    return Name;
  switch (Reg) {
  case kRegActivate:
    return (Value & 1 ? "activate LD" : "deactivate LD") + std::to_string(Device);
  case kRegIoBaseLow:
    if (auto High = Known.find({Device, kRegIoBaseHigh}); High != Known.end()) {
      return Name + " (base " + Hex(High->second << 8 | Value, 4) + ")";
    }
    return Name;
  case kRegInterrupt:
    return "interrupt level " + std::to_string(Value & 0x0F);
  default:
    return Name;
  }
}

std::string WidthNote(const pi::TraceEvent& E, const char* What) {
  return std::to_string(E.Width * 8) + "-bit access at the " + What +
         " (the chip answers byte accesses only)";
}

} // namespace

std::string TraceDecoder::Decode(const pi::TraceEvent& E) {
  if (!E.IsPortAccess())
    return ServiceCall(E);
  if (E.Port == chip::kPostCodePort) {
    return E.Kind == pi::EventKind::IoWrite ? "POST code " + Hex(E.Value, 2)
                                            : "read of the POST code port";
  }
  if (E.Port >= chip::kPciConfigAddressPort && E.Port <= chip::kPciConfigDataPort + 3) {
    return PciAccess(E);
  }
  if (auto Access = Ports_.Feed(E))
    return ChipAccess(*Access, E);
  return "no device at port " + Hex(E.Port, 4) + " on this board";
}

std::string TraceDecoder::ChipAccess(const PortAccess& A, const pi::TraceEvent& E) {
  KnownValues& Known = Known_[A.IndexPort];
  bool Global = A.Reg < kFirstDeviceRegister;
  std::string Where = Global ? "" : "LD" + std::to_string(A.Device) + " ";
  std::string Name = RegisterName(A.Device, A.Reg);
  switch (A.Step) {
  case PortStep::NotByteWide:
    return WidthNote(E, A.AtIndexPort ? "Super I/O index port" : "Super I/O data port");
  case PortStep::IndexRead:
    return "read of the index port";
  case PortStep::EnterKeyFirst:
    return "enter key (1 of 2)";
  case PortStep::EnterKeySecond:
    return "enter key (2 of 2): configuration mode";
  case PortStep::IgnoredIndexWrite:
    return "index write outside configuration mode (ignored)";
  case PortStep::ExitKey:
    return "exit key: configuration mode closed";
  case PortStep::SelectRegister:
    if (A.Reg == kEnterKey)
      return "enter key while already in configuration mode (selects register 0x77)";
    return "index: register " + Hex(A.Reg, 2) + Named(Name);
  case PortStep::DataOutsideConfig:
    return A.Write ? "data port write outside configuration mode (ignored)"
                   : "data port read outside configuration mode (floats)";
  case PortStep::DataBeforeIndex:
    return std::string("data port ") + (A.Write ? "write" : "read") + " before any index write";
  case PortStep::RegisterRead: {
    Known[{Global ? 0 : A.Device, A.Reg}] = A.Value;
    std::string Text =
        Where + "read register " + Hex(A.Reg, 2) + " -> " + Hex(A.Value, 2) + Named(Name);
    if (A.Reg == kRegChipIdHigh || A.Reg == kRegChipIdLow) {
      uint8_t Expected = A.Reg == kRegChipIdHigh ? kChipIdHigh : kChipIdLow;
      Text += A.Value == Expected ? ": matches" : ": " + Hex(Expected, 2) + " expected, no match";
    }
    return Text;
  }
  case PortStep::SelectDevice:
    Known[{0, A.Reg}] = A.Value;
    return "select logical device " + std::to_string(A.Value);
  case PortStep::ReadOnlyWrite:
    return Where + "write register " + Hex(A.Reg, 2) + " = " + Hex(A.Value, 2) + Named(Name) +
           ": read-only, ignored";
  case PortStep::RegisterWrite:
    break;
  }
  std::string Text = Where + "write register " + Hex(A.Reg, 2) + " = " + Hex(A.Value, 2);
  Known[{Global ? 0 : A.Device, A.Reg}] = A.Value;
  if (auto Meaning = WriteMeaning(A.Device, A.Reg, A.Value, Known); !Meaning.empty()) {
    Text += ": " + Meaning;
  }
  if (A.ReadBefore) {
    // The register read back and written again without a new index: a
    // read-modify-write; say which bits it changed.
    Text += "; write-back of " + Hex(*A.ReadBefore, 2) + " without a new index";
    uint8_t Cleared = *A.ReadBefore & ~A.Value, Set = A.Value & ~*A.ReadBefore;
    if (Cleared)
      Text += ", clears " + BitList(Cleared);
    if (Set)
      Text += ", sets " + BitList(Set);
    if (!Cleared && !Set)
      Text += ", unchanged";
  }
  return Text;
}

std::string TraceDecoder::PciAccess(const pi::TraceEvent& E) {
  bool Write = E.Kind == pi::EventKind::IoWrite;
  if (E.Port == chip::kPciConfigAddressPort) {
    if (E.Width != 4)
      return "PCI CONFIG_ADDRESS access of " + std::to_string(E.Width * 8) + " bits (ignored)";
    if (!Write)
      return "PCI CONFIG_ADDRESS read";
    ConfigAddress_ = E.Value;
  } else if (E.Port > chip::kPciConfigAddressPort && E.Port < chip::kPciConfigDataPort) {
    return "no device at port " + Hex(E.Port, 4) + " on this board";
  }
  uint32_t A = ConfigAddress_;
  unsigned Bus = A >> 16 & 0xFF, Dev = A >> 11 & 0x1F, Fn = A >> 8 & 0x7;
  char Function[32];
  std::snprintf(Function, sizeof Function, "bus %u, device %u, function %u", Bus, Dev, Fn);
  bool Bridge =
      Bus == chip::kLpcBridgeBus && Dev == chip::kLpcBridgeDevice && Fn == chip::kLpcBridgeFunction;
  bool Enabled = (A & 0x80000000u) != 0;
  if (E.Port == chip::kPciConfigAddressPort) {
    return std::string("PCI CONFIG_ADDRESS: ") + Function + ", register " + Hex(A & 0xFC, 2) +
           (Bridge ? " (the LPC bridge)" : "") + (Enabled ? "" : "; enable bit clear");
  }
  if (E.Port + E.Width > chip::kPciConfigDataPort + 4) {
    return "PCI CONFIG_DATA access past port 0x0CFF (ignored)";
  }
  if (!Enabled)
    return "PCI CONFIG_DATA with the enable bit clear (reaches no function)";
  auto Offset = static_cast<uint8_t>((A & 0xFC) + (E.Port - chip::kPciConfigDataPort));
  std::string Text =
      std::string("PCI configuration ") + (Write ? "write" : "read") + ", " + Function + ":";
  for (uint8_t I = 0; I < E.Width; ++I) {
    auto Reg = static_cast<uint8_t>(Offset + I);
    Text += (I ? ", " : " ") + Hex(Reg, 2) + (Write ? " = " : " -> ") +
            Hex(E.Value >> (8 * I) & 0xFF, 2) + (Bridge ? Named(LpcBridgeRegisterName(Reg)) : "");
  }
  return Text;
}

std::string TraceDecoder::ServiceCall(const pi::TraceEvent& E) const {
  const pi::ServiceCall& Call = E.Call;
  std::string Names = pi::NamesOfGuidsIn(Call);
  switch (E.Kind) {
  case pi::EventKind::InstallPpi:
    return "install " + (Names.empty() ? std::string("a PPI") : Names);
  case pi::EventKind::LocatePpi:
    return "locate " + (Names.empty() ? std::string("a PPI") : Names);
  case pi::EventKind::GetVariable:
    return Call.NameGiven && Call.Name == kSetupVariableName && Call.Guid &&
                   *Call.Guid == pi::kSioSetupVendorGuid
               ? "read the setup variable"
               : "read a variable (" + (Names.empty() ? std::string("no GUID") : Names) + ")";
  default:
    return {};
  }
}

std::vector<DecodedEvent> DecodeTrace(const pi::Trace& Events,
                                      const std::vector<uint16_t>& IndexPorts) {
  TraceDecoder Decoder = IndexPorts.empty() ? TraceDecoder() : TraceDecoder(IndexPorts);
  std::vector<DecodedEvent> Decoded;
  for (size_t I = 0; I < Events.size(); ++I) {
    Decoded.push_back({I, pi::FormatEvent(Events[I]), Decoder.Decode(Events[I])});
  }
  return Decoded;
}

} // namespace chip
