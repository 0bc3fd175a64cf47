// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/PortChoice.h"

#include <algorithm>
#include <vector>

#include "board/ScenarioFile.h"
#include "chip/Registers.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "inspect/ChipReader.h"

namespace inspect {
namespace {

// Why index port Port (and its data port) may not be reached whoever names
// it: outside the chip's port range, on a port the module writes itself, or
// on a port of the standard PC map where a write has side effects.
std::string SideEffectProblem(uint64_t Port, const std::string& Refused) {
  if (std::string Problem = siotool::ChipPortProblem(Port); !Problem.empty())
    return Problem;
  for (const SideEffectPorts& Range : kSideEffectPorts) {
    const uint16_t Data = chip::DataPort(static_cast<uint16_t>(Port));
    if (Data >= Range.First && Port <= Range.Last) {
      return sio::Hex(Port, 4) + " and its data port " + sio::Hex(Data, 4) + " reach " +
             Range.What + " at " + sio::Hex(Range.First, 4) +
             (Range.Last != Range.First ? "-" + sio::Hex(Range.Last, 4) : "") +
             ", where a write has side effects; " + Refused;
    }
  }
  return {};
}

} // namespace

std::string IndexPortProblem(uint64_t Port, bool Unsafe, const chip::BoardValues& Board) {
  std::vector<uint16_t> Module = ModuleIndexPorts(Board);
  if (std::find(Module.begin(), Module.end(), Port) != Module.end())
    return SideEffectProblem(Port, "refused though the module probes it");
  if (std::string Problem = siotool::ChipPortProblem(Port); !Problem.empty())
    return Problem;
  if (!Unsafe) {
    std::string Known;
    for (uint16_t P : Module)
      Known += (Known.empty() ? "" : ", ") + sio::Hex(P, 4);
    return sio::Hex(Port, 4) + " is not one of the module's index ports (" + Known +
           "); another port needs " + kUnsafePortOption;
  }
  return SideEffectProblem(Port, std::string("refused even with ") + kUnsafePortOption);
}

std::string ModulePortsProblem(const chip::BoardValues& Board) {
  std::vector<uint16_t> Module = ModuleIndexPorts(Board);
  if (Module.empty())
    return "it probes no index port";
  for (uint16_t Port : Module) {
    if (std::string Problem = SideEffectProblem(Port, "its discovery is refused"); !Problem.empty())
      return "its index port " + Problem;
  }
  return {};
}

} // namespace inspect
