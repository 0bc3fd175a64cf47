// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: what `sio ovmf --no-boot` reads of a code image before it
// changes anything. The fuzzer's bytes as a whole code image (opened to its
// PEI and DXE volumes, then surveyed) and as a PEI volume alone (PEI's mode,
// the images of its files, the installers of the read-only variable PPI).
// Nothing may crash, allocate from an unchecked size (run under
// -malloc_limit_mb) or take time beyond linear in the input (-timeout).
#include <cstdio>
#include <cstdlib>
#include <span>

#include "ovmf/FirmwareSurvey.h"
#include "ovmf/OvmfImage.h"
#include "pi/KnownGuids.h"
#include "pi/Records.h"

namespace {

void Fail(const char* What) {
  std::fprintf(stderr, "firmware_survey: %s\n", What);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::span<const uint8_t> Bytes(Data, Size);
  if (auto Image = ovmf::OvmfImage::Parse(std::vector<uint8_t>(Bytes.begin(), Bytes.end()))) {
    if (auto Survey = ovmf::SurveyFirmware(*Image)) {
      // A survey that names a variable service names a PEIM of the PEI volume.
      if (Survey->HasPeiVariableService() !=
          !ovmf::PpiInstallers(Image->PeiVolume(), pi::kReadOnlyVariable2PpiGuid).empty())
        Fail("the survey and the installers disagree on the variable service");
    }
  }
  if (auto Mode = ovmf::PeiProcessor(Bytes)) {
    auto Images = ovmf::VolumeImages(Bytes);
    if (!Images)
      Fail("a volume with a PEI mode whose images do not read");
    for (const ovmf::VolumeImage& I : *Images)
      if (I.FileType == pi::file_type::kPeim && I.Machine != ovmf::MachineOf(*Mode))
        Fail("a PEIM of another machine than the PEI core's was accepted");
  }
  (void)ovmf::PpiInstallers(Bytes, pi::kReadOnlyVariable2PpiGuid);
  return 0;
}
