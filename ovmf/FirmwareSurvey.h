// SPDX-License-Identifier: BSD-2-Clause-Patent
// What an OVMF code image says about the machine it needs, read from its
// volumes: the processor mode PEI and DXE run in (the machine field of their
// images), and which PEIMs install a given PPI (the PPI descriptors their
// images hold), which tells whether the firmware has a PEI variable service.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/Result.h"
#include "pi/Guid.h"

namespace ovmf {

class OvmfImage;

// The processor modes PEI (and DXE) run in on these firmware builds.
enum class Processor { Ia32, X64 };

uint16_t MachineOf(Processor P);             // the image machine type built for it
std::string_view ProcessorName(Processor P); // "IA-32", "X64" (pe/PeRecords.h)
// The mode an image's machine field names; an error for any other machine.
sio::Result<Processor> ProcessorOfMachine(uint16_t Machine);

// One PE32/PE32+ or TE image in a firmware volume, as its headers say.
struct VolumeImage {
  pi::Guid File{};
  uint8_t FileType = 0;
  std::span<const uint8_t> Bytes; // the section's body
  bool Te = false;
  uint16_t Machine = 0;
  uint64_t Base = 0; // the address its RVA 0 is linked at
  // Where the bytes of Bytes load: runs of file offsets and the RVA each
  // starts at (the headers, then each section's raw data).
  struct Run {
    size_t Offset = 0;
    size_t Size = 0;
    uint32_t Rva = 0;
  };
  std::vector<Run> Runs;
  // The address Bytes[Offset] is linked at, when it is loaded at all.
  std::optional<uint64_t> AddressOf(size_t Offset) const;
  // The offset in Bytes of what is linked at Address, when it lies in Bytes.
  std::optional<size_t> OffsetOf(uint64_t Address) const;
};

// The image in a PE32 (Te false) or TE section's body; nothing when its
// headers cannot be read.
std::optional<VolumeImage> ImageOfSection(std::span<const uint8_t> Body, bool Te);

// The images in the top-level PE32 and TE sections of the volume's files (a
// section that is no readable image is passed over: the volume's own checks
// are not this reader's business).
sio::Result<std::vector<VolumeImage>> VolumeImages(std::span<const uint8_t> Volume);

// The one mode every image of the volume's files of type FileType is built
// for; an error when there is none or they differ.
sio::Result<Processor> VolumeProcessor(std::span<const uint8_t> Volume, uint8_t FileType);

// The files of the volume (PEIMs and the PEI core) whose image holds a PPI
// descriptor for Ppi: the flags word with the PPI bit (EFI_PEI_PPI_DESCRIPTOR_PPI,
// alone or with TERMINATE_LIST), then the address of a copy of the GUID
// inside the same image, then the address of the interface inside it (or 0:
// a PPI that only signals), laid out for the image's processor. That is how a PEIM installs a PPI
// it produces from a constant list. What this cannot see: a descriptor built at run time (on the
// stack or in allocated memory), a PPI that SEC hands to the PEI Foundation, a producer in a volume
// installed later or compressed; and it says a file CAN install the PPI, not that it is dispatched
// or does so.
std::vector<pi::Guid> PpiInstallers(std::span<const uint8_t> Volume, const pi::Guid& Ppi);

// PEI's mode: the PEI volume's PEI core's. An error when there is no PEI
// core, or a PEIM of the volume is built for another machine (the other
// mode, EBC, another architecture), which a PEI Foundation does not load.
sio::Result<Processor> PeiProcessor(std::span<const uint8_t> PeiVolume);

struct FirmwareSurvey {
  Processor Pei = Processor::Ia32;
  Processor Dxe = Processor::Ia32;
  // The PEIMs that install the read-only variable PPI (the PEI variable
  // service); empty when the firmware has none.
  std::vector<pi::Guid> VariableServices;
  bool HasPeiVariableService() const { return !VariableServices.empty(); }
};

// PEI's mode from PeiProcessor, DXE's from the DXE
// volume's DXE core, the variable service from PpiInstallers.
sio::Result<FirmwareSurvey> SurveyFirmware(const OvmfImage& Image);

} // namespace ovmf
