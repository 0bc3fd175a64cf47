#include "tool/KnownGuids.h"

#include <utility>

namespace siotool {
namespace {

const std::pair<const board::GuidBytes*, const char*> kKnown[] = {
    {&board::kReadOnlyVariable2PpiGuid, "EFI_PEI_READ_ONLY_VARIABLE2_PPI"},
    {&board::kSioReadyPpiGuid, "SioReadyPpi"},
    {&board::kSioSetupVendorGuid, "SioSetupVendorGuid"},
};

} // namespace

std::string GuidName(const board::GuidBytes& Guid) {
  for (const auto& [Known, Name] : kKnown) {
    if (*Known == Guid)
      return Name;
  }
  return {};
}

std::string NamesOfGuidsIn(const std::string& Text) {
  std::string Names;
  for (size_t Pos = 0; Pos + 36 <= Text.size(); ++Pos) {
    auto Guid = board::ParseGuid(std::string_view(Text).substr(Pos, 36));
    if (!Guid)
      continue;
    std::string Name = GuidName(*Guid);
    if (Name.empty())
      Name = board::FormatGuid(*Guid);
    Names += (Names.empty() ? "" : ", ") + Name;
    Pos += 35;
  }
  return Names;
}

} // namespace siotool
