// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/KnownGuids.h"

#include <utility>

#include "board/Guid.h"

namespace siotool {
namespace {

const std::pair<const pi::Guid*, const char*> kKnown[] = {
    {&board::kReadOnlyVariable2PpiGuid, "EFI_PEI_READ_ONLY_VARIABLE2_PPI"},
    {&board::kSioReadyPpiGuid, "SioReadyPpi"},
    {&board::kSioSetupVendorGuid, "SioSetupVendorGuid"},
};

} // namespace

std::string GuidName(const pi::Guid& Guid) {
  for (const auto& [Known, Name] : kKnown) {
    if (*Known == Guid)
      return Name;
  }
  return {};
}

std::string NamesOfGuidsIn(const board::ServiceCall& Call) {
  std::string Names;
  auto Add = [&](const pi::Guid& Guid) {
    std::string Name = GuidName(Guid);
    Names += (Names.empty() ? "" : ", ") + (Name.empty() ? pi::FormatGuid(Guid) : Name);
  };
  for (const auto& Ppi : Call.Ppis)
    Add(Ppi.Guid);
  if (Call.Guid)
    Add(*Call.Guid);
  return Names;
}

} // namespace siotool
