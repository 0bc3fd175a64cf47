#include "board/Status.h"

#include <charconv>
#include <cstdio>

namespace board {
namespace {

struct NamedStatus {
  uint32_t Value;
  std::string_view Name;
};

constexpr NamedStatus kNames[] = {
    {0x00000000, "EFI_SUCCESS"},           {0x80000001, "EFI_LOAD_ERROR"},
    {0x80000002, "EFI_INVALID_PARAMETER"}, {0x80000003, "EFI_UNSUPPORTED"},
    {0x80000004, "EFI_BAD_BUFFER_SIZE"},   {0x80000005, "EFI_BUFFER_TOO_SMALL"},
    {0x80000006, "EFI_NOT_READY"},         {0x80000007, "EFI_DEVICE_ERROR"},
    {0x80000008, "EFI_WRITE_PROTECTED"},   {0x80000009, "EFI_OUT_OF_RESOURCES"},
    {0x8000000E, "EFI_NOT_FOUND"},         {0x8000000F, "EFI_ACCESS_DENIED"},
};

} // namespace

std::string StatusName(uint32_t Status) {
  for (const auto& N : kNames) {
    if (N.Value == Status)
      return std::string(N.Name);
  }
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%08X", Status);
  return Text;
}

std::optional<uint32_t> ParseStatus(std::string_view Text) {
  for (const auto& N : kNames) {
    if (N.Name == Text)
      return N.Value;
  }
  int Base = 10;
  if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X')) {
    Text.remove_prefix(2);
    Base = 16;
  }
  uint32_t Value = 0;
  auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value, Base);
  if (Error != std::errc() || End != Text.data() + Text.size() || Text.empty()) {
    return std::nullopt;
  }
  return Value;
}

} // namespace board
