// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio var encode` and `sio var decode`: the setup variable's 67-byte content
// from readable entries, and a binary one shown as a table; `sio var store`
// and `sio var list` join them (VarStoreCommands.cpp).
#include <iostream>
#include <memory>

#include "chip/SetupVariable.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "tool/CommandReports.h"
#include "tool/Commands.h"
#include "tool/InputError.h"
#include "tool/Report.h"
#include "tool/SetupContentOptions.h"

namespace siotool {

void AddVarCommands(CLI::App& App, int& ExitCode) {
  auto* Var = App.add_subcommand("var", "Build or show the setup variable \"SioF81216aSetup00\"");
  Var->require_subcommand(1);

  auto Encode = std::make_shared<SetupContentOptions>();
  auto Output = std::make_shared<std::string>();
  auto EncodeJson = std::make_shared<bool>(false);
  auto* EncodeCommand =
      Var->add_subcommand("encode", "Build the variable's 67-byte content from readable entries");
  Encode->AddTo(*EncodeCommand, false);
  EncodeCommand->add_option("-o,--output", *Output, "Binary file to write")
      ->type_name("FILE")
      ->required();
  EncodeCommand->add_flag("--json", *EncodeJson, "Print the report as one JSON document");
  EncodeCommand->callback([Encode, Output, EncodeJson, &ExitCode] {
    std::vector<uint8_t> Data = Encode->Build(chip::kSetupDataSize);
    Need(sio::WriteOutputFile(*Output, Data, "variable content"), "--output");
    PrintReport(std::cout, VarContentReport{*Output, std::move(Data)}, *EncodeJson);
    ExitCode = 0;
  });

  auto File = std::make_shared<std::string>();
  auto DecodeJson = std::make_shared<bool>(false);
  auto* DecodeCommand = Var->add_subcommand(
      "decode",
      "Show a binary variable as a table, marking the entries the settings stage acts on");
  DecodeCommand->add_option("FILE", *File, "Binary variable content (at most 67 bytes)")
      ->required();
  DecodeCommand->add_flag("--json", *DecodeJson, "Print the report as one JSON document");
  DecodeCommand->callback([File, DecodeJson, &ExitCode] {
    PrintReport(std::cout,
                VarContentReport{{}, Need(sio::ReadInputFile(*File, chip::kSetupDataSize))},
                *DecodeJson);
    ExitCode = 0;
  });

  AddVarStoreCommands(*Var, ExitCode);
}

} // namespace siotool
