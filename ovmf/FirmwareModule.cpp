// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/FirmwareModule.h"

#include <algorithm>
#include <cstring>

#include "common/Hex.h"
#include "ovmf/FirmwareSurvey.h"
#include "ovmf/Lzma.h"
#include "packaging/SioModuleFile.h"
#include "pe/ImageCheck.h"
#include "pi/Depex.h"
#include "pi/FirmwareVolume.h"
#include "pi/KnownGuids.h"
#include "pi/Records.h"
#include "pi/Section.h"

namespace ovmf {
namespace {

using sio::Hex;

// Volumes nest in sections of files of volumes; real firmware goes three
// deep (flash, LZMA section, PEI and DXE volumes). Deeper is refused.
constexpr int kMaxDepth = 6;

// EFI_GUIDED_SECTION_PROCESSING_REQUIRED: the body is not readable as it lies.
constexpr uint16_t kGuidedProcessingRequired = 0x01;

bool HasVolumeSignature(std::span<const uint8_t> Bytes, size_t At) {
  uint32_t Signature = 0;
  if (At + offsetof(pi::FvHeader, Signature) + 4 > Bytes.size())
    return false;
  std::memcpy(&Signature, Bytes.data() + At + offsetof(pi::FvHeader, Signature), 4);
  return Signature == pi::kFvSignature;
}

class Walker {
public:
  explicit Walker(const pi::Guid& Name) : Name_(Name) {}

  void Flash(std::span<const uint8_t> Bytes) {
    for (size_t At = 0; At + pi::kFvMinHeaderLength <= Bytes.size() && !Found_;) {
      if (HasVolumeSignature(Bytes, At)) {
        if (auto V = pi::ParseVolume(Bytes.subspan(At)); V && V->Length != 0) {
          ++Volumes_;
          Volume(Bytes.subspan(At, V->Length), *V, "the volume at flash offset " + Hex(At), 0);
          At += V->Length;
          continue;
        }
      }
      At += pi::kFfsFileAlignment;
    }
  }

  sio::Result<FirmwareModule> Outcome() {
    if (Found_)
      return std::move(*Found_);
    if (!Problem_.empty())
      return sio::Fail(Problem_);
    if (Volumes_ == 0)
      return sio::Fail("no firmware volume in it");
    return sio::Fail("none of its " + std::to_string(Volumes_) +
                     " firmware volumes (compressed ones opened) holds a file named " +
                     pi::FormatGuid(Name_));
  }

private:
  void Volume(std::span<const uint8_t> Bytes, const pi::VolumeView& View, const std::string& Where,
              int Depth) {
    for (const pi::FfsFileView& F : View.Files) {
      if (Found_)
        return;
      if (F.Type == pi::file_type::kPad)
        continue;
      const auto Data = Bytes.subspan(F.DataOffset(), F.DataSize());
      if (F.Name == Name_) {
        Take(Bytes, View, F, Where);
        continue;
      }
      Sections(Data, "file " + pi::FormatGuid(F.Name) + " of " + Where, Depth);
    }
  }

  void Sections(std::span<const uint8_t> Data, const std::string& Where, int Depth) {
    if (Depth >= kMaxDepth)
      return;
    auto List = pi::ParseSections(Data);
    if (!List)
      return;
    for (const pi::SectionView& S : *List) {
      if (Found_)
        return;
      const auto Body = Data.subspan(S.DataOffset(), S.DataSize());
      if (S.Type == pi::section_type::kFvImage) {
        if (auto V = pi::ParseVolume(Body)) {
          ++Volumes_;
          Volume(Body.first(V->Length), *V, "the volume inside " + Where, Depth + 1);
        }
      } else if (S.Type == pi::section_type::kGuidDefined) {
        pi::GuidDefinedSection G;
        if (S.HeaderSize != sizeof(pi::SectionHeader) || !pi::ReadRecord(Data, S.Offset, G) ||
            G.DataOffset < sizeof G || G.DataOffset > S.Size)
          continue;
        const auto Inner = Data.subspan(S.Offset + G.DataOffset, S.Size - G.DataOffset);
        if (G.SectionDefinitionGuid == pi::kLzmaSectionGuid) {
          auto Decoded = LzmaAloneDecode(Inner);
          if (!Decoded)
            continue;
          // Kept alive while its volumes are walked; what is found is copied out.
          Decoded_.push_back(std::move(*Decoded));
          Sections(Decoded_.back(), "the LZMA section of " + Where, Depth + 1);
        } else if ((G.Attributes & kGuidedProcessingRequired) == 0) {
          Sections(Inner, Where, Depth + 1);
        }
      }
    }
  }

  void Take(std::span<const uint8_t> Bytes, const pi::VolumeView& View, const pi::FfsFileView& F,
            const std::string& Where) {
    const auto Data = Bytes.subspan(F.DataOffset(), F.DataSize());
    auto List = pi::ParseSections(Data);
    if (!List) {
      Problem_ = "file " + pi::FormatGuid(F.Name) + " in " + Where + ": " + List.Message();
      return;
    }
    FirmwareModule M;
    M.Name = F.Name;
    M.Volume = Where;
    M.FileOffset = F.Offset;
    std::optional<VolumeImage> Image;
    for (const pi::SectionView& S : *List) {
      const auto Body = Data.subspan(S.DataOffset(), S.DataSize());
      if (S.Type == pi::section_type::kPeiDepex)
        M.Depex.emplace(Body.begin(), Body.end());
      if ((S.Type == pi::section_type::kPe32 || S.Type == pi::section_type::kTe) && !Image)
        Image = ImageOfSection(Body, S.Type == pi::section_type::kTe);
    }
    if (!Image) {
      Problem_ = "file " + pi::FormatGuid(F.Name) + " in " + Where +
                 ": no PE32 or TE section with a readable image";
      return;
    }
    M.Image.assign(Image->Bytes.begin(), Image->Bytes.end());
    M.Te = Image->Te;
    M.Machine = Image->Machine;
    M.Base = Image->Base;
    M.Rva0Offset = Rva0Offset(Bytes, *Image);
    // A PEI volume holds the PEI core or other PEIMs (a platform may keep them
    // in several volumes, each reported to the PEI Foundation).
    M.InPeiVolume = std::ranges::any_of(View.Files, [&F](const pi::FfsFileView& File) {
      return File.Type == pi::file_type::kPeiCore ||
             (File.Type == pi::file_type::kPeim && File.Name != F.Name);
    });
    // The volume's address from its other PEIMs: where each one's RVA 0 is
    // linked, less where it lies. The first that tells is taken.
    if (auto Others = VolumeImages(Bytes)) {
      for (const VolumeImage& I : *Others) {
        if (I.File == F.Name ||
            (I.FileType != pi::file_type::kPeim && I.FileType != pi::file_type::kPeiCore))
          continue;
        M.VolumeAddress = I.Base - Rva0Offset(Bytes, I);
        break;
      }
    }
    M.VariableServices = PpiInstallers(Bytes, pi::kReadOnlyVariable2PpiGuid);
    M.AfterVariableService = std::ranges::any_of(View.Files, [&](const pi::FfsFileView& File) {
      return File.Offset < F.Offset &&
             std::ranges::find(M.VariableServices, File.Name) != M.VariableServices.end();
    });
    if (M.Depex)
      for (const pi::Guid& Ppi : pi::DepexPpis(*M.Depex))
        if (PpiInstallers(Bytes, Ppi).empty())
          M.Uninstalled.push_back(Ppi);
    Found_ = std::move(M);
  }

  // Where an image's RVA 0 lies from the start of Volume (its bytes lie in Volume).
  static uint64_t Rva0Offset(std::span<const uint8_t> Volume, const VolumeImage& I) {
    const auto& First = I.Runs.front();
    return static_cast<uint64_t>(I.Bytes.data() - Volume.data()) + First.Offset - First.Rva;
  }

  const pi::Guid& Name_;
  std::vector<std::vector<uint8_t>> Decoded_;
  std::optional<FirmwareModule> Found_;
  std::string Problem_;
  size_t Volumes_ = 0;
};

std::string PpiName(const pi::Guid& Ppi) {
  const std::string Name = pi::GuidName(Ppi);
  return Name.empty() ? pi::FormatGuid(Ppi) : Name + " " + pi::FormatGuid(Ppi);
}

} // namespace

bool IsFirmwareImage(std::span<const uint8_t> Bytes) {
  if (Bytes.size() < 2 || (Bytes[0] == 'M' && Bytes[1] == 'Z') ||
      (Bytes[0] == 'V' && Bytes[1] == 'Z'))
    return false;
  for (size_t At = 0; At + pi::kFvMinHeaderLength <= Bytes.size(); At += pi::kFfsFileAlignment)
    if (HasVolumeSignature(Bytes, At))
      return true;
  return false;
}

sio::Result<FirmwareModule> FindFirmwareModule(std::span<const uint8_t> Firmware,
                                               const pi::Guid& Name) {
  Walker W(Name);
  W.Flash(Firmware);
  return W.Outcome();
}

std::string DescribeDependency(const std::optional<std::vector<uint8_t>>& Depex) {
  if (!Depex)
    return "none (dispatched as soon as it is met)";
  if (const auto Choice = packaging::MatchDepexChoice(*Depex))
    return std::string(packaging::DepexChoiceName(*Choice)) +
           (*Choice == packaging::DepexChoice::VariablePpi
                ? " (waits for the read-only variable PPI)"
                : "");
  std::string Names;
  for (const pi::Guid& Ppi : pi::DepexPpis(*Depex))
    Names += (Names.empty() ? " naming " : ", ") + PpiName(Ppi);
  return "an expression of " + std::to_string(Depex->size()) + " bytes" + Names;
}

std::optional<std::string> NeverDispatched(const FirmwareModule& M) {
  constexpr const char* kRemedy =
      "; remedy: give it the TRUE dependency (the package's Depex/TRUE.depex over "
      "SioF81216aPei.depex, or `sio pack ffs --depex TRUE`)";
  if (!M.InPeiVolume)
    return "never dispatched: it lies in " + M.Volume +
           ", which holds neither the PEI core nor another PEIM: not in a PEI volume; remedy: "
           "list it in the FDF's [FV] section of the PEI volume";
  if (!M.Depex)
    return std::nullopt;
  const auto Met = pi::EvaluatePeiDepex(*M.Depex, [&M](const pi::Guid& Ppi) {
    return std::ranges::find(M.Uninstalled, Ppi) == M.Uninstalled.end();
  });
  if (!Met)
    return "never dispatched: its dependency expression cannot be evaluated (" + Met.Message() +
           ")" + kRemedy;
  if (*Met)
    return std::nullopt;
  if (M.Uninstalled.empty())
    return std::string("never dispatched: its dependency is false whatever is installed") + kRemedy;
  std::string Names;
  for (const pi::Guid& Ppi : M.Uninstalled)
    Names += (Names.empty() ? "" : ", ") + PpiName(Ppi);
  const bool Variable =
      std::ranges::find(M.Uninstalled, pi::kReadOnlyVariable2PpiGuid) != M.Uninstalled.end();
  return "never dispatched: its dependency waits for " + Names +
         ", which no PEIM of its volume installs" +
         (Variable ? " (this PEI has no variable service)" : "") + kRemedy;
}

VariableReading ReadsSetupVariable(const FirmwareModule& M) {
  if (auto Never = NeverDispatched(M))
    return {false, "the module does not read the variable there: it is " + *Never};
  if (M.VariableServices.empty())
    return {false, "the module does not read the variable there: this PEI has no variable service "
                   "(no PEIM installs the read-only variable PPI); the module runs without its "
                   "settings"};
  const std::vector<pi::Guid> Named = M.Depex ? pi::DepexPpis(*M.Depex) : std::vector<pi::Guid>{};
  const bool Waits = std::ranges::find(Named, pi::kReadOnlyVariable2PpiGuid) != Named.end();
  if (Waits)
    return {true, "the module reads the variable there: its dependency waits for the variable "
                  "service, file " +
                      pi::FormatGuid(M.VariableServices.front())};
  if (M.AfterVariableService)
    return {true, "the module reads the variable there: it lies after the variable service, file " +
                      pi::FormatGuid(M.VariableServices.front()) + ", and nothing holds that back"};
  return {false, "the module may not read the variable there: it lies ahead of the variable "
                 "service and does not wait for it; remedy: give it the VARIABLE_PPI dependency"};
}

InPlace JudgeInPlace(const FirmwareModule& M) {
  if (auto Stray = M.Te ? std::nullopt : pe::StrayRelocatedAddress(M.Image))
    return {false, *Stray};
  if (!M.VolumeAddress)
    return {true, "linked at " + Hex(M.Base, 8) + ": runs in place when " + M.Volume + " lies at " +
                      Hex(M.Base - M.Rva0Offset, 8) + " (no other image in it tells)"};
  const uint64_t Where = *M.VolumeAddress + M.Rva0Offset;
  if (M.Base != Where)
    return {false, "linked at " + Hex(M.Base, 8) + ", but it lies at " + Hex(Where, 8) + " in " +
                       M.Volume + ", which runs at " + Hex(*M.VolumeAddress, 8)};
  return {true, "runs in place at " + Hex(Where, 8) + ", file offset " + Hex(M.FileOffset) +
                    " of " + M.Volume + " at " + Hex(*M.VolumeAddress, 8)};
}

} // namespace ovmf
