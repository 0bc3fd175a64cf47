// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/SetupDriverStep.h"

#include "ovmf/OvmfImage.h"
#include "packaging/SetupDriverFile.h"

namespace ovmf {

sio::Result<AddedDriver> AddSetupDriver(OvmfImage& Image, Processor Dxe,
                                        std::span<const uint8_t> DriverImage,
                                        const std::string& Source) {
  // The DXE core loads only images of its own machine: another would be
  // passed over without a word.
  const auto Read = ImageOfSection(DriverImage, false);
  if (!Read)
    return sio::Fail(Source + ": not a PE32 or PE32+ image");
  const auto Mode = ProcessorOfMachine(Read->Machine);
  if (!Mode || *Mode != Dxe)
    return sio::Fail(Source + ": the setup driver's image is built for " +
                     std::string(Mode ? ProcessorName(*Mode) : "another machine") +
                     ", and this firmware's DXE runs " + std::string(ProcessorName(Dxe)));
  auto File = packaging::BuildSetupDriverFile(DriverImage);
  if (!File)
    return File.Within(Source);
  AddedDriver Driver;
  Driver.Mode = Dxe;
  Driver.Source = Source;
  Driver.VolumeSize = Image.DxeVolume().size();
  auto Added = InsertDxeDriver(Image.DxeVolume(), *File);
  if (!Added)
    return Added.Failure();
  Driver.Added = *Added;
  return Driver;
}

} // namespace ovmf
