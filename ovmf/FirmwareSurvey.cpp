// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/FirmwareSurvey.h"

#include <algorithm>
#include <unordered_set>

#include "common/Hex.h"
#include "ovmf/OvmfImage.h"
#include "pe/PeFile.h"
#include "pe/PeRecords.h"
#include "pi/FirmwareVolume.h"
#include "pi/KnownGuids.h"
#include "pi/LittleEndian.h"
#include "pi/Records.h"
#include "pi/Section.h"

namespace ovmf {
namespace {

using sio::Hex;

// EFI_PEI_PPI_DESCRIPTOR's flags: the entry is a PPI (not a notification),
// and the last of its list.
constexpr uint32_t kPpiDescriptorPpi = 0x00000010;
constexpr uint32_t kPpiDescriptorTerminateList = 0x80000000;

} // namespace

std::optional<VolumeImage> ImageOfSection(std::span<const uint8_t> Body, bool Te) {
  VolumeImage I;
  I.Bytes = Body;
  I.Te = Te;
  if (Te) {
    pi::TeHeader H;
    if (!pi::ReadRecord(Body, 0, H) || H.Signature != pi::kTeSignature ||
        H.StrippedSize < pi::kTeHeaderSize)
      return std::nullopt;
    I.Machine = H.Machine;
    I.Base = H.ImageBase;
    // The TE header stands in for the stripped PE headers: byte 40 is RVA StrippedSize.
    const uint32_t Delta = H.StrippedSize - static_cast<uint32_t>(pi::kTeHeaderSize);
    I.Runs.push_back({pi::kTeHeaderSize, Body.size() - pi::kTeHeaderSize,
                      static_cast<uint32_t>(pi::kTeHeaderSize) + Delta});
    return I;
  }
  auto Pe = pe::ReadPeFile(Body);
  if (!Pe)
    return std::nullopt;
  I.Machine = Pe->Machine;
  I.Base = Pe->ImageBase;
  I.Runs.push_back({0, std::min<size_t>(Pe->SizeOfHeaders, Body.size()), 0});
  for (const pe::SectionHeader& S : Pe->Sections) {
    if (S.RawOffset >= Body.size())
      continue;
    const size_t Size = std::min<size_t>({S.RawSize, S.LoadedSize(), Body.size() - S.RawOffset});
    I.Runs.push_back({S.RawOffset, Size, S.VirtualAddress});
  }
  return I;
}

namespace {

uint64_t ReadLe(std::span<const uint8_t> Bytes, size_t At, size_t Width) {
  uint64_t Read = 0;
  for (size_t B = 0; B < Width; ++B)
    Read |= static_cast<uint64_t>(Bytes[At + B]) << (8 * B);
  return Read;
}

// True when Image holds a PPI descriptor for Ppi (see PpiInstallers).
bool InstallsPpi(const VolumeImage& Image, const pi::Guid& Ppi) {
  auto Mode = ProcessorOfMachine(Image.Machine);
  if (!Mode)
    return false;
  // IA-32: flags, GUID pointer, PPI pointer, 4 bytes each. X64: flags, 4
  // bytes of padding, then two 8-byte pointers (the record is 8-aligned).
  const size_t Pointer = *Mode == Processor::X64 ? 8 : 4;
  const std::span<const uint8_t> Bytes = Image.Bytes;
  // The addresses of the GUID's copies, then one pass over the pointers: a
  // descriptor points at one of them. Both passes are linear in the image,
  // however many copies it holds.
  std::unordered_set<uint64_t> GuidAddresses;
  for (auto It = Bytes.begin();
       (It = std::search(It, Bytes.end(), Ppi.begin(), Ppi.end())) != Bytes.end(); ++It)
    if (const auto Address = Image.AddressOf(static_cast<size_t>(It - Bytes.begin())))
      GuidAddresses.insert(*Address);
  if (GuidAddresses.empty())
    return false;
  for (size_t At = Pointer; At + 2 * Pointer <= Bytes.size(); At += Pointer) {
    if (!GuidAddresses.contains(ReadLe(Bytes, At, Pointer)))
      continue;
    const uint64_t Flags = ReadLe(Bytes, At - Pointer, 4);
    if ((Flags & ~uint64_t{kPpiDescriptorTerminateList}) != kPpiDescriptorPpi)
      continue;
    // The interface lies in the image, or there is none (a PPI that only signals).
    const uint64_t Interface = ReadLe(Bytes, At + Pointer, Pointer);
    if (Interface == 0 || Image.OffsetOf(Interface))
      return true;
  }
  return false;
}

} // namespace

std::optional<uint64_t> VolumeImage::AddressOf(size_t Offset) const {
  for (const Run& R : Runs)
    if (Offset >= R.Offset && Offset - R.Offset < R.Size)
      return Base + R.Rva + (Offset - R.Offset);
  return std::nullopt;
}

std::optional<size_t> VolumeImage::OffsetOf(uint64_t Address) const {
  if (Address < Base)
    return std::nullopt;
  const uint64_t Rva = Address - Base;
  for (const Run& R : Runs)
    if (Rva >= R.Rva && Rva - R.Rva < R.Size)
      return R.Offset + static_cast<size_t>(Rva - R.Rva);
  return std::nullopt;
}

uint16_t MachineOf(Processor P) {
  return P == Processor::X64 ? pe::kMachineX64 : pe::kMachineI386;
}

std::string_view ProcessorName(Processor P) {
  return pe::FindMachine(MachineOf(P))->Name;
}

sio::Result<Processor> ProcessorOfMachine(uint16_t Machine) {
  for (Processor P : {Processor::Ia32, Processor::X64})
    if (MachineOf(P) == Machine)
      return P;
  return sio::Fail("machine " + Hex(Machine) + " is neither " +
                   std::string(ProcessorName(Processor::Ia32)) + " (" + Hex(pe::kMachineI386) +
                   ") nor " + std::string(ProcessorName(Processor::X64)) + " (" +
                   Hex(pe::kMachineX64) + ")");
}

sio::Result<std::vector<VolumeImage>> VolumeImages(std::span<const uint8_t> Volume) {
  auto View = pi::ParseVolume(Volume);
  if (!View)
    return View.Failure();
  std::vector<VolumeImage> Images;
  for (const pi::FfsFileView& F : View->Files) {
    if (F.Type == pi::file_type::kPad)
      continue;
    const auto Data = Volume.subspan(F.DataOffset(), F.DataSize());
    auto Sections = pi::ParseSections(Data);
    if (!Sections)
      continue;
    for (const pi::SectionView& S : *Sections) {
      if (S.Type != pi::section_type::kPe32 && S.Type != pi::section_type::kTe)
        continue;
      auto Image = ImageOfSection(Data.subspan(S.DataOffset(), S.DataSize()),
                                  S.Type == pi::section_type::kTe);
      if (!Image)
        continue;
      Image->File = F.Name;
      Image->FileType = F.Type;
      Images.push_back(std::move(*Image));
    }
  }
  return Images;
}

sio::Result<Processor> VolumeProcessor(std::span<const uint8_t> Volume, uint8_t FileType) {
  auto Images = VolumeImages(Volume);
  if (!Images)
    return Images.Failure();
  std::optional<Processor> Mode;
  for (const VolumeImage& I : *Images) {
    if (I.FileType != FileType)
      continue;
    auto This = ProcessorOfMachine(I.Machine);
    if (!This)
      return This.Within("file " + pi::FormatGuid(I.File));
    if (Mode && *Mode != *This)
      return sio::Fail("its images are built for both IA-32 and X64");
    Mode = *This;
  }
  if (!Mode)
    return sio::Fail("no image in a file of type " + Hex(FileType));
  return *Mode;
}

std::vector<pi::Guid> PpiInstallers(std::span<const uint8_t> Volume, const pi::Guid& Ppi) {
  std::vector<pi::Guid> Files;
  auto Images = VolumeImages(Volume);
  if (!Images)
    return Files;
  for (const VolumeImage& I : *Images)
    if ((I.FileType == pi::file_type::kPeim || I.FileType == pi::file_type::kPeiCore) &&
        InstallsPpi(I, Ppi) && std::ranges::find(Files, I.File) == Files.end())
      Files.push_back(I.File);
  return Files;
}

sio::Result<Processor> PeiProcessor(std::span<const uint8_t> PeiVolume) {
  auto Pei = VolumeProcessor(PeiVolume, pi::file_type::kPeiCore);
  if (!Pei)
    return Pei.Within("PEI volume's PEI core");
  // A PEI Foundation loads only images of its own machine: a PEIM built
  // for any other marks a firmware laid out otherwise than the PEI core
  // says, whether one PEIM is so or all.
  auto Images = VolumeImages(PeiVolume);
  if (!Images)
    return Images.Within("PEI volume");
  for (const VolumeImage& I : *Images)
    if (I.FileType == pi::file_type::kPeim && I.Machine != MachineOf(*Pei))
      return sio::Fail("PEI volume: the PEI core is " + std::string(ProcessorName(*Pei)) +
                       ", and the PEIM in file " + pi::FormatGuid(I.File) +
                       " is built for machine " + Hex(I.Machine) +
                       ", which its PEI Foundation does not load");
  return *Pei;
}

sio::Result<FirmwareSurvey> SurveyFirmware(const OvmfImage& Image) {
  FirmwareSurvey S;
  auto Pei = PeiProcessor(Image.PeiVolume());
  if (!Pei)
    return Pei.Failure();
  S.Pei = *Pei;
  auto Dxe = VolumeProcessor(Image.DxeVolume(), pi::file_type::kDxeCore);
  if (!Dxe)
    return Dxe.Within("DXE volume's DXE core");
  S.Dxe = *Dxe;
  S.VariableServices = PpiInstallers(Image.PeiVolume(), pi::kReadOnlyVariable2PpiGuid);
  return S;
}

} // namespace ovmf
