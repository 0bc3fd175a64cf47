// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/Status.h"

#include "common/Number.h"
#include <cstdio>

namespace pi {
namespace {

struct NamedStatus {
  uint32_t Value;
  std::string_view Name;
};

// Every status the UEFI architecture defines: success, the errors (bit 31
// set, codes 1-35) and the warnings (bit 31 clear, codes 1-7).
constexpr NamedStatus kNames[] = {
    {0x00000000, "EFI_SUCCESS"},
    {0x80000001, "EFI_LOAD_ERROR"},
    {0x80000002, "EFI_INVALID_PARAMETER"},
    {0x80000003, "EFI_UNSUPPORTED"},
    {0x80000004, "EFI_BAD_BUFFER_SIZE"},
    {0x80000005, "EFI_BUFFER_TOO_SMALL"},
    {0x80000006, "EFI_NOT_READY"},
    {0x80000007, "EFI_DEVICE_ERROR"},
    {0x80000008, "EFI_WRITE_PROTECTED"},
    {0x80000009, "EFI_OUT_OF_RESOURCES"},
    {0x8000000A, "EFI_VOLUME_CORRUPTED"},
    {0x8000000B, "EFI_VOLUME_FULL"},
    {0x8000000C, "EFI_NO_MEDIA"},
    {0x8000000D, "EFI_MEDIA_CHANGED"},
    {0x8000000E, "EFI_NOT_FOUND"},
    {0x8000000F, "EFI_ACCESS_DENIED"},
    {0x80000010, "EFI_NO_RESPONSE"},
    {0x80000011, "EFI_NO_MAPPING"},
    {0x80000012, "EFI_TIMEOUT"},
    {0x80000013, "EFI_NOT_STARTED"},
    {0x80000014, "EFI_ALREADY_STARTED"},
    {0x80000015, "EFI_ABORTED"},
    {0x80000016, "EFI_ICMP_ERROR"},
    {0x80000017, "EFI_TFTP_ERROR"},
    {0x80000018, "EFI_PROTOCOL_ERROR"},
    {0x80000019, "EFI_INCOMPATIBLE_VERSION"},
    {0x8000001A, "EFI_SECURITY_VIOLATION"},
    {0x8000001B, "EFI_CRC_ERROR"},
    {0x8000001C, "EFI_END_OF_MEDIA"},
    {0x8000001F, "EFI_END_OF_FILE"},
    {0x80000020, "EFI_INVALID_LANGUAGE"},
    {0x80000021, "EFI_COMPROMISED_DATA"},
    {0x80000022, "EFI_IP_ADDRESS_CONFLICT"},
    {0x80000023, "EFI_HTTP_ERROR"},
    {0x00000001, "EFI_WARN_UNKNOWN_GLYPH"},
    {0x00000002, "EFI_WARN_DELETE_FAILURE"},
    {0x00000003, "EFI_WARN_WRITE_FAILURE"},
    {0x00000004, "EFI_WARN_BUFFER_TOO_SMALL"},
    {0x00000005, "EFI_WARN_STALE_DATA"},
    {0x00000006, "EFI_WARN_FILE_SYSTEM"},
    {0x00000007, "EFI_WARN_RESET_REQUIRED"},
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
  const auto Value = sio::ParseNumber(Text);
  if (!Value || *Value > 0xFFFFFFFF)
    return std::nullopt;
  return static_cast<uint32_t>(*Value);
}

} // namespace pi
