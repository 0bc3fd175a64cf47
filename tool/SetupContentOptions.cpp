// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/SetupContentOptions.h"

#include "board/ScenarioFile.h"
#include "chip/SetupVariable.h"
#include "common/FileInput.h"
#include "common/JsonFields.h"
#include "pi/VariableStore.h"
#include "tool/InputError.h"

namespace siotool {

void SetupContentOptions::AddTo(CLI::App& Command, bool ContentFile) {
  EntryOption_ = Command
                     .add_option("--entry", Entries_,
                                 "Entry, in order (up to 5): "
                                 "kind=0x12,qualifier=0,enabled=1,iobase=0,param=5A:00:00:00 "
                                 "(also chip_id_high, chip_id_low, aux; absent fields are 0), "
                                 "or \"empty\"")
                     ->type_name("ENTRY");
  TrailerOption_ =
      Command.add_option("--trailer", Trailer_, "The 7 trailing bytes (e.g. 00:00:00:00:00:00:01)");
  FromOption_ =
      Command
          .add_option(
              "--from", FromFile_,
              "JSON variable object instead of --entry: {\"entries\": [...], \"trailer\": ...}")
          ->excludes(EntryOption_)
          ->excludes(TrailerOption_);
  if (ContentFile) {
    ContentOption_ = Command
                         .add_option("--content", ContentFile_,
                                     "Binary content instead (as `sio var encode` writes it)")
                         ->type_name("FILE")
                         ->excludes(EntryOption_)
                         ->excludes(TrailerOption_)
                         ->excludes(FromOption_);
  }
}

bool SetupContentOptions::Given() const {
  for (const auto* Option : {EntryOption_, TrailerOption_, FromOption_, ContentOption_}) {
    if (Option && Option->count() > 0)
      return true;
  }
  return false;
}

std::vector<uint8_t> SetupContentOptions::Build(size_t MaxFileSize) const {
  if (ContentOption_ && ContentOption_->count() > 0) {
    return Need(sio::ReadInputFile(ContentFile_, MaxFileSize), "--content");
  }
  if (FromOption_->count() > 0) {
    Json Object = Need(ReadJsonFile(FromFile_));
    return Need(ParseSetupVariable(Object, "", chip::kSetupDataSize), FromFile_);
  }
  if (Entries_.size() > chip::kSetupEntryCount) {
    throw InputError("--entry: given " + std::to_string(Entries_.size()) +
                     " times; the variable holds 5 entries");
  }
  SetupContent Content;
  for (size_t I = 0; I < Entries_.size(); ++I)
    Content.Entries[I] = Need(ParseSetupEntryText(Entries_[I], "--entry " + std::to_string(I)));
  if (TrailerOption_->count() > 0)
    Content.Trailer = Need(ReadSetupTrailer(Json(Trailer_), "--trailer"));
  return EncodeSetupVariable(Content);
}

uint32_t ParseStoredAttributes(const std::string& Text) {
  const auto Attributes =
      static_cast<uint32_t>(Need(ParseUnsigned(Text, "--attributes", 0xFFFFFFFF)));
  if (auto Allowed = pi::CheckStorableAttributes(Attributes); !Allowed)
    throw InputError("--attributes", Allowed.Failure());
  return Attributes;
}

void PrintSetupTable(std::ostream& Out, std::span<const uint8_t> Data, std::string_view ActedOn) {
  for (const auto& Line : FormatSetupTable(Data, ActedOn))
    Out << Line << "\n";
}

} // namespace siotool
