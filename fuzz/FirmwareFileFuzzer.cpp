// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: the fuzzer's bytes as a stand-alone firmware file, as a
// firmware volume and as a dependency expression, through the format
// library's readers and writers and the OVMF insertion. Nothing may crash or
// allocate from an unchecked size (run under -malloc_limit_mb), and the
// readers and writers must agree: a file the reader accepts goes into a
// volume the reader reads back with that file in it.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "ovmf/PeiVolumeInserter.h"
#include "pi/Depex.h"
#include "pi/FirmwareVolume.h"

namespace {

void Fail(const char* What) {
  std::fprintf(stderr, "firmware_file: %s\n", What);
  std::abort();
}

// An empty erase-polarity volume of 16 KiB, for the insertion.
const std::vector<uint8_t>& EmptyVolume() {
  static const std::vector<uint8_t> Volume = [] {
    pi::FileRecipe Recipe;
    Recipe.Type = pi::file_type::kPad;
    Recipe.DataChecksum = false;
    auto Filler = pi::BuildFfsFile(Recipe).Value().Bytes;
    pi::VolumeOptions Options;
    Options.BlockSize = 0x4000;
    auto Bytes = pi::BuildFirmwareVolume({Filler}, Options).Value().Bytes;
    std::fill(Bytes.begin() + pi::kFvMinHeaderLength, Bytes.end(), 0xFF);
    return Bytes;
  }();
  return Volume;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::span<const uint8_t> Bytes(Data, Size);
  (void)pi::CheckPeiDepex(Bytes);

  if (auto Volume = pi::ParseVolume(Bytes)) {
    for (const pi::FfsFileView& F : Volume->Files) {
      if (F.DataOffset() + F.DataSize() > Bytes.size())
        Fail("a file of a parsed volume lies outside it");
      (void)pi::ParseSections(Bytes.subspan(F.DataOffset(), F.DataSize()));
    }
  }

  if (auto File = pi::ReadFfsFile(Bytes)) {
    // A volume takes every file the reader accepts, but for a file made of
    // sections whose sections do not lie inside it.
    const bool SectionsRead = static_cast<bool>(pi::ListSections(Bytes));
    const bool Sectioned =
        File->Type >= pi::kFirstSectionedFileType && File->Type <= pi::kLastSectionedFileType;
    const std::vector<uint8_t> Whole(Bytes.begin(), Bytes.end());
    auto Built = pi::BuildFirmwareVolume({Whole});
    if (!Built) {
      if (!Sectioned || SectionsRead)
        Fail("a file the reader accepts did not go into a volume");
      return 0;
    }
    auto Read = pi::ParseVolume(Built->Bytes);
    if (!Read || Read->Files.empty() || Read->Files.back().Name != File->Name)
      Fail("a volume the writer built does not read back with its file");
    auto Volume = EmptyVolume();
    if (ovmf::InsertPeim(Volume, 0x820000, Bytes) && !pi::ParseVolume(Volume))
      Fail("a volume after an insertion does not read back");
  }
  return 0;
}
