// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/QemuPortTrace.h"

#include <algorithm>
#include <charconv>

#include "board/LpcBridge.h"
#include "board/PostCodePort.h"
#include "chip/Registers.h"

namespace ovmf {
namespace {

constexpr uint16_t kPostCodePort = board::PostCodePort::kPort;
constexpr uint16_t kPciConfigAddress = board::LpcBridge::kConfigAddressPort;
constexpr uint16_t kPciConfigData = board::LpcBridge::kConfigDataPort;

// The value after "Key " in Line, parsed as hex (0x prefix) or decimal.
std::optional<uint64_t> Field(std::string_view Line, std::string_view Key) {
  const size_t At = Line.find(Key);
  if (At == std::string_view::npos)
    return std::nullopt;
  std::string_view Rest = Line.substr(At + Key.size());
  int Base = 10;
  if (Rest.starts_with("0x")) {
    Rest.remove_prefix(2);
    Base = 16;
  }
  uint64_t Value = 0;
  const auto [End, Error] = std::from_chars(Rest.data(), Rest.data() + Rest.size(), Value, Base);
  if (Error != std::errc() || End == Rest.data())
    return std::nullopt;
  return Value;
}

bool IsPciConfigPort(uint16_t Port) {
  return Port == kPciConfigAddress || (Port >= kPciConfigData && Port < kPciConfigData + 4);
}

bool IsSuperIoPort(const std::vector<uint16_t>& IndexPorts, uint16_t Port) {
  return std::any_of(IndexPorts.begin(), IndexPorts.end(), [&](uint16_t Index) {
    return Port == Index || Port == chip::DataPort(Index);
  });
}

bool IsWrite(const pi::TraceEvent& E, uint16_t Port, uint32_t Value) {
  return E.Kind == pi::EventKind::IoWrite && E.Width == 1 && E.Port == Port && E.Value == Value;
}

} // namespace

std::optional<pi::TraceEvent> ParsePortAccess(std::string_view Line) {
  pi::TraceEvent E;
  if (Line.find("memory_region_ops_write ") != std::string_view::npos)
    E.Kind = pi::EventKind::IoWrite;
  else if (Line.find("memory_region_ops_read ") != std::string_view::npos)
    E.Kind = pi::EventKind::IoRead;
  else
    return std::nullopt;
  const auto Address = Field(Line, " addr ");
  const auto Value = Field(Line, " value ");
  const auto Size = Field(Line, " size ");
  if (!Address || !Value || !Size || *Address > 0xFFFF)
    return std::nullopt;
  if (*Size != 1 && *Size != 2 && *Size != 4)
    return std::nullopt;
  E.Port = static_cast<uint16_t>(*Address);
  E.Width = static_cast<uint8_t>(*Size);
  E.Value =
      static_cast<uint32_t>(*Size == 4 ? *Value & 0xFFFFFFFFu : *Value & ((1u << (8 * *Size)) - 1));
  return E;
}

std::vector<pi::Trace> ModuleRuns(const std::vector<pi::TraceEvent>& Ports,
                                  const chip::BoardValues& Board) {
  const std::vector<uint16_t> IndexPorts = Board.IndexPorts();
  std::vector<pi::Trace> Runs;
  for (size_t I = 0; I + 1 < Ports.size(); ++I) {
    if (!IsWrite(Ports[I], kPostCodePort, Board.PostCode & 0xFF) ||
        !IsWrite(Ports[I + 1], kPostCodePort + 1, Board.PostCode >> 8))
      continue;
    pi::Trace Run;
    bool SuperIoSeen = false;
    size_t J = I;
    for (; J < Ports.size(); ++J) {
      const uint16_t Port = Ports[J].Port;
      const bool PostCode = Port == kPostCodePort || Port == kPostCodePort + 1;
      // The module opens LPC decoding before it touches the Super I/O ports;
      // configuration cycles after that are the firmware's own.
      const bool Pci = IsPciConfigPort(Port) && !SuperIoSeen;
      const bool SuperIo = IsSuperIoPort(IndexPorts, Port);
      if (!PostCode && !Pci && !SuperIo)
        break;
      SuperIoSeen = SuperIoSeen || SuperIo;
      Run.push_back(Ports[J]);
    }
    Runs.push_back(std::move(Run));
    I = J - 1;
  }
  return Runs;
}

pi::Trace AsQemuSeesIt(const pi::Trace& Events) {
  pi::Trace Out;
  for (const pi::TraceEvent& E : Events) {
    if (!E.IsPortAccess())
      continue;
    if (E.Port != kPostCodePort || E.Width == 1) {
      Out.push_back(E);
      continue;
    }
    for (uint8_t Byte = 0; Byte < E.Width; ++Byte) {
      pi::TraceEvent Part = E;
      Part.Width = 1;
      Part.Port = static_cast<uint16_t>(E.Port + Byte);
      Part.Value = (E.Value >> (8 * Byte)) & 0xFF;
      Out.push_back(Part);
    }
  }
  return Out;
}

pi::Trace AsTheModuleWroteIt(const pi::Trace& Events) {
  pi::Trace Out;
  for (size_t I = 0; I < Events.size(); ++I) {
    const pi::TraceEvent& E = Events[I];
    if (I + 1 < Events.size() && E.Kind == pi::EventKind::IoWrite && E.Width == 1 &&
        E.Port == kPostCodePort && Events[I + 1].Kind == pi::EventKind::IoWrite &&
        Events[I + 1].Width == 1 && Events[I + 1].Port == kPostCodePort + 1) {
      pi::TraceEvent Word = E;
      Word.Width = 2;
      Word.Value = E.Value | (Events[I + 1].Value << 8);
      Out.push_back(Word);
      ++I;
      continue;
    }
    Out.push_back(E);
  }
  return Out;
}

} // namespace ovmf
