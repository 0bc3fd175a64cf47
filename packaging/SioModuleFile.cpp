// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "packaging/SioModuleFile.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "pe/ImageCheck.h"
#include "pe/TeImage.h"
#include "pi/Depex.h"
#include "pi/FfsFile.h"
#include "pi/KnownGuids.h"

namespace packaging {

std::optional<DepexChoice> ParseDepexChoice(std::string_view Name) {
  std::string Upper(Name);
  std::transform(Upper.begin(), Upper.end(), Upper.begin(),
                 [](unsigned char C) { return static_cast<char>(std::toupper(C)); });
  for (DepexChoice C : {DepexChoice::VariablePpi, DepexChoice::True, DepexChoice::False}) {
    if (Upper == DepexChoiceName(C))
      return C;
  }
  return std::nullopt;
}

std::string_view DepexChoiceName(DepexChoice Choice) {
  switch (Choice) {
  case DepexChoice::VariablePpi:
    return "VARIABLE_PPI";
  case DepexChoice::True:
    return "TRUE";
  case DepexChoice::False:
    return "FALSE";
  }
  return "?";
}

std::vector<uint8_t> EncodeDepex(DepexChoice Choice) {
  pi::DepexWriter W;
  switch (Choice) {
  case DepexChoice::VariablePpi:
    W.Push(pi::kReadOnlyVariable2PpiGuid);
    break;
  case DepexChoice::True:
    W.True();
    break;
  case DepexChoice::False:
    W.False();
    break;
  }
  return W.Finish();
}

std::optional<DepexChoice> MatchDepexChoice(std::span<const uint8_t> Depex) {
  for (DepexChoice C : {DepexChoice::VariablePpi, DepexChoice::True, DepexChoice::False})
    if (std::ranges::equal(EncodeDepex(C), Depex))
      return C;
  return std::nullopt;
}

sio::Result<pe::PeFile> ValidateFileImage(std::span<const uint8_t> Image) {
  auto Pe = pe::ValidatePe32Image(Image);
  if (!Pe)
    return Pe.Failure();
  if (Pe->Mode() == nullptr)
    return sio::Fail("neither a PE32 image for IA-32 nor a PE32+ image for X64 (machine " +
                     std::to_string(Pe->Machine) + ")");
  return Pe;
}

sio::Result<std::vector<uint8_t>> BuildSioModuleFile(std::span<const uint8_t> Image,
                                                     DepexChoice Depex, ImageForm Form) {
  auto Pe = ValidateFileImage(Image);
  if (!Pe)
    return Pe.Failure();
  // Running in place needs the file bytes laid out as in memory.
  if (Pe->SectionAlignment != Pe->FileAlignment)
    return sio::Fail("image section alignment differs from its file alignment");
  pi::FileRecipe Recipe;
  Recipe.Name = kSioModuleFileName;
  Recipe.Type = pi::file_type::kPeim;
  Recipe.DataChecksum = true;
  const uint32_t Alignment = std::max<uint32_t>(Pe->SectionAlignment, 4);
  pi::SectionRecipe ImageSection{
      pi::section_type::kPe32, {Image.begin(), Image.end()}, Alignment, 0};
  if (Form == ImageForm::Te) {
    auto Te = pe::ConvertToTe(Image);
    if (!Te)
      return Te.Failure();
    // The image's address 0 lies StrippedSize - 40 bytes before the TE header.
    const uint32_t Phase = (Te->StrippedSize - pi::kTeHeaderSize) % Alignment;
    ImageSection = {pi::section_type::kTe, std::move(Te->Bytes), Alignment, Phase};
  }
  Recipe.Sections = {
      {pi::section_type::kPeiDepex, EncodeDepex(Depex), 4, 0},
      std::move(ImageSection),
      {pi::section_type::kUserInterface, pi::UserInterfaceBody(kSioModuleName), 4, 0},
  };
  auto File = pi::BuildFfsFile(Recipe);
  if (!File)
    return File.Failure();
  return std::move(File->Bytes);
}

} // namespace packaging
