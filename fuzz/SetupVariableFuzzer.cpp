// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: setup variable files. The bytes as a binary variable, shown
// as `sio var decode` shows it, and as a JSON variable object, read as
// `sio var encode --from` reads it: every 67-byte variable decodes into
// entries and a trailer that encode back to the same bytes, and the table
// has one line per entry whatever the length.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "board/ScenarioFile.h"
#include "chip/SetupVariable.h"

namespace {

[[noreturn]] void Finding(const std::string& What) {
  std::fprintf(stderr, "setup_variable: %s\n", What.c_str());
  std::abort();
}

// A full-size variable is its decoded entries and trailer, encoded again.
void CheckRoundTrip(std::span<const uint8_t> Data, const char* Source) {
  if (Data.size() != chip::kSetupDataSize)
    return;
  siotool::SetupContent Content;
  auto Decoded = siotool::DecodeSetupVariable(Data);
  for (size_t I = 0; I < chip::kSetupEntryCount; ++I) {
    if (Decoded[I].BytesPresent != chip::kSetupEntrySize)
      Finding(std::string(Source) + ": a full variable decodes with a short entry");
    Content.Entries[I] = Decoded[I].Entry;
  }
  std::copy(Data.end() - chip::kSetupTrailerSize, Data.end(), Content.Trailer.begin());
  auto Encoded = siotool::EncodeSetupVariable(Content);
  if (!std::equal(Encoded.begin(), Encoded.end(), Data.begin(), Data.end()))
    Finding(std::string(Source) + ": decoded and encoded again, the variable changed");
}

void CheckTable(std::span<const uint8_t> Data) {
  auto Lines = siotool::FormatSetupTable(Data);
  // Header, one line per entry, trailer, size.
  if (Lines.size() != chip::kSetupEntryCount + 3)
    Finding("the table has " + std::to_string(Lines.size()) + " lines");
  for (const auto& Line : Lines) {
    if (Line.find('\n') != std::string::npos)
      Finding("a table line holds a line break: " + Line);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::span<const uint8_t> Bytes(Data, Size);
  // `sio var decode` reads at most 67 bytes; a scenario's variable may be
  // longer (up to its own limit) and is shown the same way.
  if (Size <= siotool::kMaxScenarioVariableSize) {
    CheckTable(Bytes);
    CheckRoundTrip(Bytes, "binary");
  }
  if (Size > siotool::kMaxJsonFileSize)
    return 0;
  auto Document = siotool::ParseJson(Bytes);
  auto Variable = Document ? siotool::ParseSetupVariable(*Document, "", chip::kSetupDataSize)
                           : sio::Result<std::vector<uint8_t>>(Document.Failure());
  if (!Variable) {
    const std::string& Message = Variable.Message();
    if (Message.empty() || Message.find('\n') != std::string::npos)
      Finding("error message is not one line: " + Message);
    return 0;
  }
  if (Variable->size() > chip::kSetupDataSize)
    Finding("a variable object gave " + std::to_string(Variable->size()) + " bytes");
  CheckTable(*Variable);
  CheckRoundTrip(*Variable, "JSON");
  return 0;
}
