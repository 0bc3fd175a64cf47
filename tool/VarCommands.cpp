// `sio var encode` and `sio var decode`: the setup variable's 67-byte content
// from readable entries, and a binary one shown as a table.
#include <fstream>
#include <iostream>
#include <memory>

#include "tool/Commands.h"
#include "tool/FileInput.h"
#include "tool/InputError.h"
#include "tool/ScenarioFile.h"
#include "tool/ScenarioOptions.h"
#include "tool/SetupVariable.h"

namespace siotool {
namespace {

struct EncodeOptions {
  std::vector<std::string> Entries;
  std::string Trailer;
  std::string FromFile;
  std::string Output;
};

void PrintTable(std::span<const uint8_t> Data) {
  for (const auto& Line : FormatSetupTable(Data))
    std::cout << Line << "\n";
}

} // namespace

void AddVarCommands(CLI::App& App, int& ExitCode) {
  auto* Var = App.add_subcommand("var", "Build or show the setup variable \"SioF81216aSetup00\"");
  Var->require_subcommand(1);

  auto Encode = std::make_shared<EncodeOptions>();
  auto* EncodeCommand =
      Var->add_subcommand("encode", "Build the variable's 67-byte content from readable entries");
  auto* Entry =
      EncodeCommand
          ->add_option("--entry", Encode->Entries,
                       "Entry, in order (up to 5): "
                       "kind=0x12,qualifier=0,enabled=1,iobase=0,param=5A:00:00:00 "
                       "(also chip_id_high, chip_id_low, aux; absent fields are 0), or \"empty\"")
          ->type_name("ENTRY");
  auto* Trailer = EncodeCommand->add_option("--trailer", Encode->Trailer,
                                            "The 7 trailing bytes (e.g. 00:00:00:00:00:00:01)");
  EncodeCommand
      ->add_option(
          "--from", Encode->FromFile,
          "JSON variable object instead of --entry: {\"entries\": [...], \"trailer\": ...}")
      ->excludes(Entry)
      ->excludes(Trailer);
  EncodeCommand->add_option("-o,--output", Encode->Output, "Binary file to write")
      ->type_name("FILE")
      ->required();
  auto* TrailerGiven = Trailer;
  EncodeCommand->callback([Encode, TrailerGiven, &ExitCode] {
    std::vector<uint8_t> Data;
    if (!Encode->FromFile.empty()) {
      Json Object = ReadJsonFile(Encode->FromFile);
      try {
        Data = ParseSetupVariable(Object, "", kSetupVariableSize);
      } catch (const InputError& Error) {
        throw InputError(Encode->FromFile + ": " + Error.what());
      }
    } else {
      if (Encode->Entries.size() > kSetupEntryCount) {
        throw InputError("--entry: given " + std::to_string(Encode->Entries.size()) +
                         " times; the variable holds 5 entries");
      }
      SetupContent Content;
      for (size_t I = 0; I < Encode->Entries.size(); ++I) {
        Content.Entries[I] =
            ParseSetupEntryText(Encode->Entries[I], "--entry " + std::to_string(I));
      }
      if (TrailerGiven->count() > 0)
        Content.Trailer = ReadSetupTrailer(Json(Encode->Trailer), "--trailer");
      Data = EncodeSetupVariable(Content);
    }
    std::ofstream Out(Encode->Output, std::ios::binary);
    if (!Out)
      throw InputError("--output: " + Encode->Output + ": cannot create file");
    Out.write(reinterpret_cast<const char*>(Data.data()),
              static_cast<std::streamsize>(Data.size()));
    Out.close();
    if (!Out)
      throw InputError("--output: " + Encode->Output + ": cannot write file");
    std::cout << "Wrote " << Data.size() << " bytes to " << Encode->Output << "\n";
    PrintTable(Data);
    ExitCode = 0;
  });

  auto File = std::make_shared<std::string>();
  auto* DecodeCommand = Var->add_subcommand(
      "decode",
      "Show a binary variable as a table, marking the entries the settings stage acts on");
  DecodeCommand->add_option("FILE", *File, "Binary variable content (at most 67 bytes)")
      ->required();
  DecodeCommand->callback([File, &ExitCode] {
    auto Data = ReadInputFile(*File, kSetupVariableSize);
    PrintTable(Data);
    ExitCode = 0;
  });
}

} // namespace siotool
