// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "bench/ImageFootprint.h"

#include <exception>
#include <regex>
#include <string>

#include "pe/PeFile.h"
#include "pe/TeImage.h"

namespace bench {
namespace {

struct MapTotals {
  uint64_t Code = 0;
  uint64_t ReadOnlyData = 0;
  uint64_t WritableData = 0;
  size_t InputSections = 0;
};

// The section table of an lld-link /map: one row per section name that the
// objects contributed, e.g. " 0001:00000194 00000084H .rdata   CODE"; its
// length runs from the first contribution of that name to the end of the last.
MapTotals SumContributions(std::string_view LinkMap) {
  static const std::regex Row(
      R"(^\s*[0-9A-Fa-f]+:[0-9A-Fa-f]+ ([0-9A-Fa-f]+)H (\.[A-Za-z]+)\S*\s+\S+\s*$)");
  MapTotals Totals;
  size_t Start = 0;
  while (Start < LinkMap.size()) {
    size_t End = LinkMap.find('\n', Start);
    if (End == std::string_view::npos)
      End = LinkMap.size();
    std::string Text(LinkMap.substr(Start, End - Start));
    Start = End + 1;
    std::smatch Match;
    if (!std::regex_match(Text, Match, Row))
      continue;
    uint64_t Size = std::stoull(Match[1].str(), nullptr, 16);
    std::string Section = Match[2].str();
    ++Totals.InputSections;
    if (Section == ".text") {
      Totals.Code += Size;
    } else if (Section == ".rdata") {
      Totals.ReadOnlyData += Size;
    } else if (Section == ".data" || Section == ".bss") {
      Totals.WritableData += Size;
    }
  }
  return Totals;
}

} // namespace

FootprintResult MeasureFootprint(std::span<const uint8_t> Image, std::string_view LinkMap) {
  auto Read = pe::ReadPeFile(Image);
  if (!Read)
    return {std::nullopt, "image: " + Read.Message()};
  const pe::PeFile& File = *Read;

  MapTotals Totals = SumContributions(LinkMap);
  if (Totals.InputSections == 0)
    return {std::nullopt, "linker map: no section contributions listed"};

  ImageFootprint F;
  F.FileBytes = File.FileSize;
  F.HeaderBytes = File.SizeOfHeaders;
  F.CodeBytes = static_cast<uint32_t>(Totals.Code);
  F.ReadOnlyDataBytes = static_cast<uint32_t>(Totals.ReadOnlyData);
  F.WritableDataBytes = static_cast<uint32_t>(Totals.WritableData);
  uint64_t SectionBytes = 0;
  for (const auto& Section : File.Sections) {
    SectionBytes += Section.RawSize;
    if (Section.Name == ".reloc")
      F.RelocationBytes = Section.RawSize;
  }
  uint64_t Parts = uint64_t(F.HeaderBytes) + F.CodeBytes + F.ReadOnlyDataBytes +
                   F.WritableDataBytes + F.RelocationBytes;
  uint64_t Laid = uint64_t(F.HeaderBytes) + SectionBytes;
  if (Parts > Laid || Laid > F.FileBytes) {
    return {std::nullopt, "link map does not describe this image: its parts (" +
                              std::to_string(Parts) +
                              " bytes) exceed the file's headers and sections (" +
                              std::to_string(Laid) + " bytes)"};
  }
  F.PaddingBytes = static_cast<uint32_t>(F.FileBytes - Parts);
  if (auto Te = pe::ConvertToTe(Image)) {
    F.TeFileBytes = Te->Bytes.size();
    F.TeHeaderBytes = F.HeaderBytes - Te->StrippedSize + pi::kTeHeaderSize;
  } else {
    F.TeError = Te.Message();
  }
  return {F, {}};
}

} // namespace bench
