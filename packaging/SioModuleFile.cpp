#include "packaging/SioModuleFile.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "packaging/FfsFile.h"
#include "packaging/Pe32Image.h"
#include "packaging/TeImage.h"

namespace packaging {
std::vector<uint8_t> BuildSioModuleFile(std::span<const uint8_t> Image, DepexChoice Depex,
                                        ImageForm Form) {
  const pe::PeFile Pe = ReadPe32Image(Image);
  if (Pe.Machine != pe::kMachineI386) {
    throw std::runtime_error("image machine is " + std::to_string(Pe.Machine) +
                             ", not IA-32 (332)");
  }
  // Running in place needs the file bytes laid out as in memory.
  if (Pe.SectionAlignment != Pe.FileAlignment) {
    throw std::runtime_error("image section alignment differs from its file alignment");
  }
  FileRecipe Recipe;
  Recipe.Name = *pi::ParseGuid(kSioModuleFileGuid);
  Recipe.Type = file_type::kPeim;
  Recipe.DataChecksum = true;
  const uint32_t Alignment = std::max<uint32_t>(Pe.SectionAlignment, 4);
  SectionRecipe ImageSection{section_type::kPe32, {Image.begin(), Image.end()}, Alignment, 0};
  if (Form == ImageForm::Te) {
    TeImage Te = ConvertToTe(Image);
    // The image's address 0 lies StrippedSize - 40 bytes before the TE header.
    const uint32_t Phase = (Te.StrippedSize - kTeHeaderSize) % Alignment;
    ImageSection = {section_type::kTe, std::move(Te.Bytes), Alignment, Phase};
  }
  Recipe.Sections = {
      {section_type::kPeiDepex, EncodeDepex(Depex), 4, 0},
      std::move(ImageSection),
      {section_type::kUserInterface, UserInterfaceBody(kSioModuleName), 4, 0},
  };
  return BuildFfsFile(Recipe).Bytes;
}

} // namespace packaging
