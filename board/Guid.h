// GUIDs as the board keeps them: the 16 bytes as they lie in memory.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace board {

using GuidBytes = std::array<uint8_t, 16>;

// Registry format, e.g. "6F3BDEE2-6FCF-492E-80AC-7C786D9FC397".
std::string FormatGuid(const GuidBytes& Guid);
// Appends the registry format of Guid to Text.
void AppendGuid(std::string& Text, const GuidBytes& Guid);
std::optional<GuidBytes> ParseGuid(std::string_view Text);

extern const GuidBytes kReadOnlyVariable2PpiGuid; // 2AB86EF5-ECB5-4134-B556-3854CA1FE1B4
extern const GuidBytes kSioReadyPpiGuid;          // 6F3BDEE2-6FCF-492E-80AC-7C786D9FC397
extern const GuidBytes kSioSetupVendorGuid;       // CD2E75EC-4162-411D-B7F1-E1D882E697AB

} // namespace board
