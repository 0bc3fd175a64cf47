// The module as a firmware file: its fixed name GUID, its user-interface name,
// and the PEIM file that carries its image.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "packaging/Depex.h"

namespace packaging {

// The firmware file's name. Fixed for the life of the module: platforms list
// it in their flash layout and find the module by it. Tests read it from here.
inline constexpr std::string_view kSioModuleFileGuid = "F06C840E-DC65-4200-893D-CC1159179910";
inline constexpr std::u16string_view kSioModuleName = u"SioF81216aPei";

enum class ImageForm {
  Pe32, // the image as linked, in a PE32 section
  Te,   // its terse form, in a TE section: the PE headers replaced by 40 bytes
};

// A PEIM file: the dependency expression, the image in a PE32 (or TE) section
// placed so that the image's address 0 lies on a multiple of its section
// alignment (so it can run in place at the address it is linked or rebased
// to), and the name. Throws std::runtime_error for an image that is not an
// IA-32 PE32 image laid out as in memory.
std::vector<uint8_t> BuildSioModuleFile(std::span<const uint8_t> Image, DepexChoice Depex,
                                        ImageForm Form = ImageForm::Pe32);

} // namespace packaging
