// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: the fuzzer's bytes as a module image, through every reader of
// an image (image check, validation, TE conversion and reading, rebasing, the
// packer, the emulator's loader). Nothing may crash, read outside the bytes
// or allocate from an unchecked header field (run under -malloc_limit_mb),
// and the readers must agree: an image the validation accepts passes the
// check, packs in both forms, loads, and rebases there and back unchanged.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "emulator/PeLoader.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageCheck.h"
#include "pe/PeRebase.h"
#include "pe/TeImage.h"

namespace {

void Fail(const char* What) {
  std::fprintf(stderr, "pe_image: %s\n", What);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::span<const uint8_t> Bytes(Data, Size);
  const pe::ImageCheckReport Report = pe::CheckImage(Bytes, std::nullopt);
  const auto Valid = pe::ValidatePe32Image(Bytes);
  if (Valid.Ok() != Report.Passed())
    Fail("the validation and the image check disagree");

  if (auto Te = pe::ConvertToTe(Bytes)) {
    auto Moved = Te->Bytes;
    if (auto Read = pe::ReadTe(Moved); Read && pe::RebaseTe(Moved, 0x00820000)) {
      if (!pe::RebaseTe(Moved, Read->ImageBase) || Moved != Te->Bytes)
        Fail("a TE image rebased there and back changed");
    }
  }
  (void)pe::ValidateTeImage(Bytes);

  std::vector<uint8_t> Copy(Bytes.begin(), Bytes.end());
  if (auto Info = pe::ReadPe32(Copy); Info && pe::RebasePe32(Copy, 0x00847000)) {
    if (!pe::RebasePe32(Copy, Info->ImageBase) ||
        !std::equal(Copy.begin(), Copy.end(), Bytes.begin(), Bytes.end()))
      Fail("a PE32 or PE32+ image rebased there and back changed");
  }

  const auto File = packaging::BuildSioModuleFile(Bytes, packaging::DepexChoice::True);
  const auto Loaded = emulator::LoadPeImage(Bytes, 0x00200000u);
  if (Valid) {
    if (!Loaded)
      Fail("a valid image did not load");
    // Either processor mode's image packs.
    if (Valid->SectionAlignment == Valid->FileAlignment && !File)
      Fail("a valid image laid out as in memory did not pack");
  } else if (File || Loaded) {
    Fail("an image the validation refuses was packed or loaded");
  }
  return 0;
}
