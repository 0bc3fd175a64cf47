// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/VcdWriter.h"

#include <bitset>

namespace siotool {
namespace {

// One signal: identifier code, width in bits, name.
struct Signal {
  const char* Id;
  int Bits;
  const char* Name;
};

constexpr Signal kPort{"!", 16, "port"};
constexpr Signal kData{"\"", 32, "data"};
constexpr Signal kWrite{"#", 1, "write"};
constexpr Signal kWidth{"$", 6, "width"};
constexpr Signal kEvent{"%", 32, "event"};
constexpr Signal kSignals[] = {kPort, kData, kWrite, kWidth, kEvent};

void Change(std::ostream& Out, const Signal& S, uint32_t Value) {
  if (S.Bits == 1) {
    Out << (Value & 1) << S.Id << "\n";
    return;
  }
  std::string Bits = std::bitset<32>(Value).to_string().substr(32 - S.Bits);
  Out << "b" << Bits << " " << S.Id << "\n";
}

} // namespace

void WriteVcd(std::ostream& Out, const pi::Trace& Events) {
  Out << "$date sio pass $end\n$version sio run --vcd $end\n$timescale 1us $end\n";
  Out << "$scope module io $end\n";
  for (const auto& S : kSignals) {
    Out << "$var wire " << S.Bits << " " << S.Id << " " << S.Name;
    if (S.Bits > 1)
      Out << " [" << S.Bits - 1 << ":0]";
    Out << " $end\n";
  }
  Out << "$upscope $end\n$enddefinitions $end\n";
  Out << "#0\n$dumpvars\n";
  for (const auto& S : kSignals)
    Out << (S.Bits == 1 ? "x" : "bx ") << S.Id << "\n";
  Out << "$end\n";
  uint64_t Step = 0;
  for (size_t I = 0; I < Events.size(); ++I) {
    const auto& E = Events[I];
    if (!E.IsPortAccess())
      continue;
    Out << "#" << ++Step << "\n";
    Change(Out, kPort, E.Port);
    Change(Out, kData, E.Value);
    Change(Out, kWrite, E.Kind == pi::EventKind::IoWrite);
    Change(Out, kWidth, E.Width * 8u);
    Change(Out, kEvent, static_cast<uint32_t>(I));
  }
  Out << "#" << Step + 1 << "\n";
}

} // namespace siotool
