#include "packaging/SioModuleFile.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "packaging/FfsFile.h"
#include "packaging/PeImage.h"

namespace packaging {
namespace {
constexpr uint16_t kMachineI386 = 0x014C;
}

std::vector<uint8_t> BuildSioModuleFile(std::span<const uint8_t> Image, DepexChoice Depex) {
  const PeImageInfo Pe = ReadPeImage(Image);
  if (Pe.Machine != kMachineI386) {
    throw std::runtime_error("image machine is " + std::to_string(Pe.Machine) +
                             ", not IA-32 (332)");
  }
  // Running in place needs the file bytes laid out as in memory.
  if (Pe.SectionAlignment != Pe.FileAlignment) {
    throw std::runtime_error("image section alignment differs from its file alignment");
  }
  FileSpec Spec;
  Spec.Name = *board::ParseGuid(kSioModuleFileGuid);
  Spec.Type = file_type::kPeim;
  Spec.DataChecksum = true;
  Spec.Sections = {
      {section_type::kPeiDepex, EncodeDepex(Depex), 4},
      {section_type::kPe32, std::vector<uint8_t>(Image.begin(), Image.end()),
       std::max<uint32_t>(Pe.SectionAlignment, 4)},
      {section_type::kUserInterface, UserInterfaceBody(kSioModuleName), 4},
  };
  return BuildFfsFile(Spec).Bytes;
}

} // namespace packaging
