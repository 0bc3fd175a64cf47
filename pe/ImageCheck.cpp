// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pe/ImageCheck.h"

#include <algorithm>
#include <cstdio>

#include "common/Hex.h"
#include "pe/ImageFile.h"
#include "pe/TeImage.h"

namespace pe {
namespace {

using sio::Hex;

class Checklist {
public:
  explicit Checklist(ImageCheckReport& Report) : Report_(Report) {}
  void Add(std::string Name, bool Passed, std::string Message) {
    Report_.Checks.push_back({std::move(Name), Passed, std::move(Message)});
  }

private:
  ImageCheckReport& Report_;
};

void CheckEntryPoint(const PeFile& File, Checklist& List) {
  const SectionHeader* Section = File.SectionAt(File.EntryRva);
  std::string At = "RVA " + Hex(File.EntryRva);
  if (File.EntryRva == 0) {
    List.Add("entry point", false, "no entry point (RVA 0)");
  } else if (Section == nullptr) {
    List.Add("entry point", false, At + " lies in no section");
  } else if (!Section->Executable() || !(Section->Characteristics & kSectionCode)) {
    List.Add("entry point", false, At + " lies in " + Section->Name + ", which is not code");
  } else {
    List.Add("entry point", true, At + " in " + Section->Name);
  }
}

// The optional header's form and the machine, each known, and agreeing: PE32
// for IA-32, PE32+ for X64.
void CheckMode(const PeFile& File, Checklist& List) {
  const bool KnownMagic = File.Magic == kMagicPe32 || File.Magic == kMagicPe32Plus;
  List.Add("magic", KnownMagic,
           File.Magic == kMagicPe32 ? "PE32 (0x10B)"
           : File.Magic == kMagicPe32Plus
               ? "PE32+ (0x20B)"
               : "optional header magic " + Hex(File.Magic) + ", PE32 is 0x10B and PE32+ 0x20B");
  const MachineInfo* Machine = FindMachine(File.Machine);
  if (Machine == nullptr) {
    List.Add("machine", false, "machine " + Hex(File.Machine) + ", IA-32 is 0x14C and X64 0x8664");
  } else if (KnownMagic && Machine->Magic != File.Magic) {
    List.Add("machine", false,
             std::string(Machine->Name) + " (" + Hex(File.Machine) + ") in a " +
                 (File.Magic == kMagicPe32 ? "PE32" : "PE32+") + " image; " + Machine->Name +
                 " images are " + Machine->MagicName);
  } else {
    List.Add("machine", true, std::string(Machine->Name) + " (" + Hex(File.Machine) + ")");
  }
}

void CheckImageBase(const PeFile& File, uint32_t FlashAddress, Checklist& List) {
  uint64_t End = File.ImageBase + File.SizeOfImage;
  std::string Range = Hex(File.ImageBase, 8) + "-" + Hex(End - 1, 8);
  if (File.ImageBase != FlashAddress) {
    List.Add("image base", false,
             "linked at " + Hex(File.ImageBase, 8) + ", flash address is " + Hex(FlashAddress, 8));
  } else if (End > 0x100000000ull) {
    List.Add("image base", false, Range + " reaches past 4 GiB");
  } else {
    List.Add("image base", true, "runs in place at " + Range);
  }
}

void CheckRelocations(const PeFile& File, const std::vector<uint8_t>& Image, Checklist& List) {
  if (!File.HasRelocations()) {
    List.Add("base relocations", false, "no base relocation directory");
    return;
  }
  auto Read = ReadBaseRelocations(File, Image);
  if (!Read) {
    List.Add("base relocations", false, Read.Message());
    return;
  }
  const std::vector<BaseRelocation>& Relocations = *Read;
  if (Relocations.empty()) {
    List.Add("base relocations", false, "relocation directory holds no relocation");
    return;
  }
  const MachineInfo* Mode = File.Mode();
  if (Mode == nullptr) {
    List.Add("base relocations", false, "not read: no processor mode gives them a meaning");
    return;
  }
  for (const auto& R : Relocations) {
    if (R.Type != Mode->RelocationType) {
      List.Add("base relocations", false,
               "relocation of type " + std::to_string(R.Type) + " at RVA " + Hex(R.Rva) +
                   " (only " + Mode->RelocationName + " is meaningful on " + Mode->Name + ")");
      return;
    }
    const SectionHeader* Section = File.SectionAt(R.Rva);
    if (Section == nullptr || uint64_t(R.Rva) + Mode->SiteBytes >
                                  uint64_t(Section->VirtualAddress) + Section->LoadedSize()) {
      List.Add("base relocations", false,
               "relocation at RVA " + Hex(R.Rva) + " patches no section");
      return;
    }
  }
  List.Add("base relocations", true,
           std::to_string(Relocations.size()) + " " + Mode->RelocationName + " in " +
               std::to_string(File.RelocationSize) + " bytes");
}

void CheckWritableSections(const PeFile& File, Checklist& List) {
  std::string Writable;
  for (const auto& S : File.Sections) {
    if (S.Writable() && (S.LoadedSize() != 0 || S.RawSize != 0)) {
      Writable += (Writable.empty() ? "" : ", ") + S.Name + " (" + std::to_string(S.LoadedSize()) +
                  " bytes)";
    }
  }
  List.Add("no writable data", Writable.empty(),
           Writable.empty() ? "no section is both writable and non-empty"
                            : "writable and non-empty: " + Writable);
}

} // namespace

bool ImageCheckReport::Passed() const {
  return !Checks.empty() &&
         std::all_of(Checks.begin(), Checks.end(), [](const auto& C) { return C.Passed; });
}

ImageCheckReport CheckImage(std::span<const uint8_t> Bytes, std::optional<uint32_t> FlashAddress) {
  ImageCheckReport Report;
  Report.FileSize = Bytes.size();
  Checklist List(Report);
  auto Read = ReadPeFile(Bytes);
  if (!Read) {
    List.Add("format", false, Read.Message());
    return Report;
  }
  const PeFile& File = *Read;
  Report.SizeOfImage = File.SizeOfImage;
  for (const auto& S : File.Sections) {
    Report.Sections.push_back(
        {S.Name, S.VirtualAddress, S.VirtualSize, S.RawSize, S.Characteristics, S.Flags()});
  }
  auto Image = LayOutImage(File, Bytes);
  List.Add("format", Image.Ok(), Image ? "headers and sections fit the file" : Image.Message());
  CheckMode(File, List);
  List.Add("subsystem", File.Subsystem == kSubsystemEfiBootServiceDriver,
           File.Subsystem == kSubsystemEfiBootServiceDriver
               ? "EFI_BOOT_SERVICE_DRIVER (11)"
               : "subsystem " + std::to_string(File.Subsystem) + ", EFI_BOOT_SERVICE_DRIVER is 11");
  CheckEntryPoint(File, List);
  if (FlashAddress)
    CheckImageBase(File, *FlashAddress, List);
  if (!Image) {
    List.Add("base relocations", false, "not read: the image does not lay out");
  } else {
    CheckRelocations(File, *Image, List);
  }
  CheckWritableSections(File, List);
  return Report;
}

ImageCheckReport CheckImageFile(const std::string& Path, uint32_t FlashAddress) {
  auto Bytes = ReadFileBytes(Path);
  ImageCheckReport Report;
  if (!Bytes) {
    Report.Checks.push_back({"file", false, "cannot read " + Path});
  } else {
    Report = CheckImage(*Bytes, FlashAddress);
  }
  Report.Path = Path;
  return Report;
}

std::optional<std::string> StrayRelocatedAddress(std::span<const uint8_t> Bytes) {
  auto Pe = ReadPeFile(Bytes);
  if (!Pe)
    return Pe.Message();
  auto Laid = LayOutImage(*Pe, Bytes);
  if (!Laid)
    return Laid.Message();
  auto Sites = ReadBaseRelocations(*Pe, *Laid);
  if (!Sites)
    return Sites.Message();
  const uint64_t End = Pe->ImageBase + Pe->SizeOfImage;
  for (const BaseRelocation& R : *Sites) {
    const uint32_t Width = RelocationSiteBytes(R.Type);
    if (Width == 0 || uint64_t(R.Rva) + Width > Laid->size())
      return "relocation at RVA " + Hex(R.Rva) + " patches no address of the image";
    uint64_t Value = 0;
    for (uint32_t B = 0; B < Width; ++B)
      Value |= uint64_t((*Laid)[R.Rva + B]) << (8 * B);
    if (Value < Pe->ImageBase || Value > End)
      return "the address at RVA " + Hex(R.Rva) + " is " + Hex(Value, 8) + ", outside the image (" +
             Hex(Pe->ImageBase, 8) + "-" + Hex(End - 1, 8) + "): not rebased with it";
  }
  return std::nullopt;
}

sio::Result<PeFile> ValidatePe32Image(std::span<const uint8_t> Bytes) {
  const ImageCheckReport Report = CheckImage(Bytes, std::nullopt);
  for (const CheckOutcome& C : Report.Checks) {
    if (!C.Passed)
      return sio::Fail(C.Name + ": " + C.Message);
  }
  return ReadPeFile(Bytes);
}

sio::Result<ImageKind> ValidateModuleImage(std::span<const uint8_t> Bytes) {
  if (LooksLikeTe(Bytes)) {
    auto Te = ValidateTeImage(Bytes);
    if (!Te)
      return Te.Failure();
    return ImageKind::Te;
  }
  auto Pe = ValidatePe32Image(Bytes);
  if (!Pe)
    return Pe.Failure();
  return ImageKind::Pe32;
}

std::string FormatImageCheck(const ImageCheckReport& Report) {
  // Names and messages carry bytes of the file (section names): printed safe.
  std::string Text = "Image " + sio::PrintableText(Report.Path) + ": " +
                     std::to_string(Report.FileSize) + " bytes, " +
                     std::to_string(Report.SizeOfImage) + " bytes in memory\n";
  char Line[256];
  std::snprintf(Line, sizeof Line, "  %-20s %-6s %s\n", "check", "result", "found");
  Text += Line;
  for (const auto& Check : Report.Checks) {
    std::snprintf(Line, sizeof Line, "  %-20s %-6s %s\n", Check.Name.c_str(),
                  Check.Passed ? "pass" : "FAIL", sio::PrintableText(Check.Message).c_str());
    Text += Line;
  }
  if (!Report.Sections.empty()) {
    std::snprintf(Line, sizeof Line, "  %-8s %-10s %-10s %-10s %s\n", "section", "address", "size",
                  "file size", "access");
    Text += Line;
  }
  for (const auto& S : Report.Sections) {
    std::snprintf(Line, sizeof Line, "  %-8s 0x%08X 0x%08X 0x%08X %s\n",
                  sio::PrintableText(S.Name).c_str(), S.VirtualAddress, S.VirtualSize, S.RawSize,
                  S.Flags.c_str());
    Text += Line;
  }
  Text += Report.Passed() ? "Image check passed\n" : "Image check FAILED\n";
  return Text;
}

} // namespace pe
