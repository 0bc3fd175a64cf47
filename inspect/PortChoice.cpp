// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/PortChoice.h"

#include <algorithm>
#include <vector>

#include "inspect/ChipReader.h"
#include "tool/JsonFields.h"
#include "tool/ScenarioFile.h"

namespace inspect {

std::string IndexPortProblem(uint64_t Port, bool Unsafe) {
  std::vector<uint16_t> Module = ModuleIndexPorts();
  if (std::find(Module.begin(), Module.end(), Port) != Module.end())
    return {};
  if (std::string Problem = siotool::ChipPortProblem(Port); !Problem.empty())
    return Problem;
  if (!Unsafe) {
    std::string Known;
    for (uint16_t P : Module)
      Known += (Known.empty() ? "" : ", ") + siotool::Hex(P, 4);
    return siotool::Hex(Port, 4) + " is not one of the module's index ports (" + Known +
           "); another port needs " + kUnsafePortOption;
  }
  for (const SideEffectPorts& Range : kSideEffectPorts) {
    if (Port + 1 >= Range.First && Port <= Range.Last) {
      return siotool::Hex(Port, 4) + " and its data port " + siotool::Hex(Port + 1, 4) + " reach " +
             Range.What + " at " + siotool::Hex(Range.First, 4) +
             (Range.Last != Range.First ? "-" + siotool::Hex(Range.Last, 4) : "") +
             ", where a write has side effects; refused even with " + kUnsafePortOption;
    }
  }
  return {};
}

} // namespace inspect
