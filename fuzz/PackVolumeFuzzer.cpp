// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: `sio pack fv` on hostile files. The fuzzer's bytes are split
// into up to eight firmware files and a block size, and built into a volume
// as the command builds it. Nothing may crash or allocate from an unchecked
// size (run under -malloc_limit_mb); a volume built is no larger than the
// largest flash, reads back with every file in the order given, and each
// file's sections read as they did before.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "pi/FirmwareVolume.h"

namespace {

void Fail(const char* What) {
  std::fprintf(stderr, "pack_volume: %s\n", What);
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  FuzzedDataProvider In(Data, Size);
  pi::VolumeOptions Options;
  // Mostly powers of two, from 8 bytes to 4 GiB, sometimes anything.
  Options.BlockSize =
      In.ConsumeBool() ? 1u << In.ConsumeIntegralInRange(0, 31) : In.ConsumeIntegral<uint32_t>();
  Options.ErasePolarity = In.ConsumeBool();
  const size_t Count = In.ConsumeIntegralInRange<size_t>(1, 8);
  std::vector<std::vector<uint8_t>> Files;
  for (size_t I = 0; I < Count && In.remaining_bytes() > 0; ++I) {
    Files.push_back(I + 1 == Count ? In.ConsumeRemainingBytes<uint8_t>()
                                   : In.ConsumeBytes<uint8_t>(In.ConsumeIntegral<uint16_t>()));
    Options.FileNames.push_back("file" + std::to_string(I) + ".ffs");
  }
  auto Built = pi::BuildFirmwareVolume(Files, Options);
  if (!Built)
    return 0;
  if (Built->Bytes.size() > pi::kMaxBuiltVolumeSize)
    Fail("a volume larger than the largest flash was built");
  auto Read = pi::ParseVolume(Built->Bytes);
  if (!Read)
    Fail("a volume the writer built does not read back");
  if (Built->FileOffsets.size() != Files.size())
    Fail("not every file was placed");
  for (size_t I = 0; I < Files.size(); ++I) {
    const auto Placed = pi::ReadFileAt(Built->Bytes, Built->FileOffsets[I],
                                       Built->Bytes.size() - Built->FileOffsets[I]);
    const auto Given = pi::ReadFfsFile(Files[I]);
    if (!Placed || !Given || Placed->Name != Given->Name || Placed->Size != Given->Size)
      Fail("a placed file is not the file given");
    const bool Sectioned =
        Given->Type >= pi::kFirstSectionedFileType && Given->Type <= pi::kLastSectionedFileType;
    if (Sectioned && !pi::ListSections(Files[I]))
      Fail("a file whose sections do not read was packed");
  }
  return 0;
}
