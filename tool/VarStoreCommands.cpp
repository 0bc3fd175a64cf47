// `sio var store` puts the setup variable into a copy of a firmware variable
// store (bare, in its volume, or in a whole flash image); `sio var list`
// shows a store's records and decodes the setup variable's valid copy.
#include <cstdio>
#include <iostream>
#include <memory>

#include "board/Guid.h"
#include "pi/VariableStore.h"
#include "tool/Commands.h"
#include "tool/FileInput.h"
#include "tool/FileOutput.h"
#include "tool/InputError.h"
#include "tool/JsonFields.h"
#include "tool/SetupContentOptions.h"
#include "tool/SetupVariable.h"

namespace siotool {
namespace {

// Flash images are a few MiB; anything beyond this is not one.
constexpr size_t kMaxStoreFileSize = 256u << 20;
constexpr size_t kMaxContentFileSize = 64u << 20;

pi::VariableStore OpenStore(const std::string& Path) {
  auto Bytes = ReadInputFile(Path, kMaxStoreFileSize);
  auto Store = pi::VariableStore::Open(Bytes);
  if (!Store)
    throw InputError(Store.Within(Path).Message);
  return std::move(Store).Value();
}

std::string Describe(const pi::VariableStore& Store) {
  std::string Text = std::string(pi::VariableStoreFormatName(Store.Format())) +
                     " variable store at " + Hex(Store.StoreOffset());
  if (Store.VolumeOffset())
    Text += " in the volume at " + Hex(*Store.VolumeOffset());
  return Text + ", " + std::to_string(Store.StoreSize()) + " bytes, " +
         std::to_string(Store.FreeBytes()) + " free";
}

std::string StateText(const pi::VariableRecord& Record) {
  return Hex(Record.StateByte) + " " + pi::VariableRecordStateName(Record.State);
}

std::string AttributesText(uint32_t Attributes) {
  return Hex(Attributes) + " (" + pi::FormatVariableAttributes(Attributes) + ")";
}

void PrintTable(std::span<const uint8_t> Data) {
  for (const auto& Line : FormatSetupTable(Data))
    std::cout << Line << "\n";
}

// The module reads exactly 67 bytes; say what another size means for it.
void NoteSize(size_t Size) {
  if (Size < kSetupVariableSize) {
    std::cout << "note: content is " << Size
              << " bytes, not 67: the settings stage reads what is there and passes over "
                 "entries it does not reach\n";
  } else if (Size > kSetupVariableSize) {
    std::cout << "note: content is " << Size
              << " bytes, not 67: the settings stage's 67-byte buffer is too small for it and "
                 "it applies nothing\n";
  }
}

struct StoreOptions {
  std::string Store;
  std::string Output;
  std::string Attributes = "0x3";
  bool Force = false;
  SetupContentOptions Content;
};

void RunStore(const StoreOptions& Options) {
  const uint32_t Attributes = ParseStoredAttributes(Options.Attributes);
  if (!Options.Content.Given())
    throw InputError("no content: give --content FILE, --entry or --from");
  auto Store = OpenStore(Options.Store);
  auto Data = Options.Content.Build(kMaxContentFileSize);
  if (Data.empty()) // SetVariable with no data deletes; a store never holds an empty variable
    throw InputError("content is empty: a variable needs at least one byte");

  const std::u16string Name(kSetupVariableName);
  const auto* Earlier = Store.FindValid(Name, board::kSioSetupVendorGuid);
  auto Written = Store.WithVariable({Name, board::kSioSetupVendorGuid, Attributes, Data});
  if (!Written)
    throw InputError(Written.Within(Options.Store).Message);
  WriteOutputFile(Options.Output, *Written, "variable store", Options.Force);

  auto After = pi::VariableStore::Open(*Written);
  if (!After) // the writer produced what its reader refuses: a fault of ours
    throw std::runtime_error("written store does not read back: " + After.Message());
  const auto& New = After->Records().back();
  std::cout << Options.Store << ": " << Describe(Store) << "\n";
  // The records ahead of the new one are the earlier ones, in the same order.
  for (size_t I = 0; I < Store.Records().size(); ++I) {
    const auto& Before = Store.Records()[I];
    if (Before.StateByte != After->Records()[I].StateByte) {
      std::cout << "Replaced: the copy at " << Hex(Before.Offset, 6) << " marked deleted (state "
                << Hex(Before.StateByte) << " -> " << Hex(After->Records()[I].StateByte) << ")\n";
    }
  }
  std::cout << (Earlier ? "Stored" : "Added") << " \"" << pi::VariableNameText(Name) << "\" "
            << pi::FormatGuid(board::kSioSetupVendorGuid) << " at " << Hex(New.Offset, 6)
            << ": attributes " << AttributesText(New.Attributes) << ", state " << StateText(New)
            << ", " << New.Data.size() << " bytes\n";
  std::cout << "Wrote " << Options.Output << ": " << Written->size() << " bytes, "
            << After->FreeBytes() << " bytes of the store free\n";
  NoteSize(Data.size());
  PrintTable(Data);
}

void RunList(const std::string& Path) {
  auto Store = OpenStore(Path);
  std::cout << Path << ": " << Describe(Store) << "\n";
  if (Store.Records().empty()) {
    std::cout << "No variables\n";
  } else {
    char Line[256];
    std::snprintf(Line, sizeof Line, "%-8s  %-26s  %-20s  %6s  %-36s  %s", "record", "state",
                  "attributes", "size", "GUID", "name");
    std::cout << Line << "\n";
    for (const auto& Record : Store.Records()) {
      std::snprintf(Line, sizeof Line, "%-8s  %-26s  %-20s  %6zu  %-36s  ",
                    Hex(Record.Offset, 6).c_str(), StateText(Record).c_str(),
                    AttributesText(Record.Attributes).c_str(), Record.Data.size(),
                    pi::FormatGuid(Record.VendorGuid).c_str());
      std::cout << Line << pi::VariableNameText(Record.Name) << "\n";
    }
  }
  const std::u16string Name(kSetupVariableName);
  const auto* Ours = Store.FindValid(Name, board::kSioSetupVendorGuid);
  if (!Ours) {
    std::cout << "\"" << pi::VariableNameText(Name) << "\": no valid copy in the store\n";
    return;
  }
  std::cout << "\"" << pi::VariableNameText(Name) << "\" at " << Hex(Ours->Offset, 6) << ":\n";
  NoteSize(Ours->Data.size());
  PrintTable(Ours->Data);
}

} // namespace

void AddVarStoreCommands(CLI::App& Var, int& ExitCode) {
  auto Store = std::make_shared<StoreOptions>();
  auto* StoreCommand = Var.add_subcommand(
      "store", "Add or replace the setup variable in a copy of a firmware variable store");
  StoreCommand
      ->add_option("STORE", Store->Store,
                   "Variable store: bare, its firmware volume, or a flash image holding it")
      ->required();
  StoreCommand->add_option("-o,--output", Store->Output, "Store file to write")
      ->type_name("FILE")
      ->required();
  StoreCommand->add_flag("--force", Store->Force, "Replace the output file if it exists");
  StoreCommand
      ->add_option("--attributes", Store->Attributes,
                   "Variable attributes: 0x3 non-volatile + boot service (default), 0x7 with "
                   "runtime access")
      ->type_name("BITS");
  Store->Content.AddTo(*StoreCommand, true);
  StoreCommand->callback([Store, &ExitCode] {
    RunStore(*Store);
    ExitCode = 0;
  });

  auto ListPath = std::make_shared<std::string>();
  auto* ListCommand = Var.add_subcommand(
      "list", "Show a variable store's records and decode the setup variable's valid copy");
  ListCommand
      ->add_option("STORE", *ListPath,
                   "Variable store: bare, its firmware volume, or a flash image holding it")
      ->required();
  ListCommand->callback([ListPath, &ExitCode] {
    RunList(*ListPath);
    ExitCode = 0;
  });
}

} // namespace siotool
