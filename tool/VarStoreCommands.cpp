// SPDX-License-Identifier: BSD-2-Clause-Patent
// `sio var store` puts the setup variable into a copy of a firmware variable
// store (bare, in its volume, or in a whole flash image); `sio var list`
// shows a store's records and decodes the setup variable's valid copy.
#include <cstdio>
#include <iostream>
#include <memory>

#include "chip/SetupVariable.h"
#include "common/FileInput.h"
#include "common/FileOutput.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "packaging/SioModuleFile.h"
#include "pi/KnownGuids.h"
#include "pi/VariableStore.h"
#include "pi/VariableStoreRecords.h"
#include "tool/CommandReports.h"
#include "tool/Commands.h"
#include "tool/FirmwareInput.h"
#include "tool/InputError.h"
#include "tool/Report.h"
#include "tool/SetupContentOptions.h"

using sio::Hex;

namespace siotool {
namespace {

// Flash images are a few MiB; anything beyond this is not one.
constexpr size_t kMaxStoreFileSize = 256u << 20;
constexpr size_t kMaxContentFileSize = 64u << 20;
// The largest variable the firmware's variable services take, its record
// header and name included (OVMF's default), and the free space the variable
// driver keeps for the records it writes itself (hardware error records).
constexpr uint64_t kDefaultMaxVariableSize = 0x2000;
constexpr uint64_t kDefaultKeepFree = 0x800;
constexpr uint32_t kDefaultAttributes = pi::kVariableNonVolatile | pi::kVariableBootServiceAccess;

// Which volume of the file holds the store, when it has more than one.
struct StoreChoice {
  std::string Path;
  std::string VolumeAt; // --volume-at, empty when not given
};

pi::VariableStore OpenStore(const StoreChoice& Choice) {
  std::optional<size_t> VolumeAt;
  if (!Choice.VolumeAt.empty())
    VolumeAt =
        static_cast<size_t>(Need(ParseUnsigned(Choice.VolumeAt, "--volume-at", kMaxStoreFileSize)));
  auto Bytes = Need(sio::ReadInputFile(Choice.Path, kMaxStoreFileSize));
  auto Store = pi::VariableStore::Open(Bytes, VolumeAt);
  if (!Store) {
    std::string Message = Store.Within(Choice.Path).Message;
    if (!VolumeAt && Message.ends_with("choose one by its offset"))
      Message += " (--volume-at OFFSET)";
    throw InputError(Message);
  }
  return std::move(Store).Value();
}

// Warns when the store holds more than one valid copy of the variable: the
// firmware reads one of them (the one shown), a later update deletes them all.
void WarnOfCopies(const std::string& Path, const pi::VariableStore& Store, std::u16string_view Name,
                  const pi::Guid& Vendor) {
  if (size_t Copies = Store.ValidCopies(Name, Vendor); Copies > 1) {
    std::cerr << "sio: warning: " << Path << ": the store holds " << Copies << " valid copies of \""
              << pi::VariableNameText(Name) << "\"; the firmware reads the one at "
              << Hex(Store.FindValid(Name, Vendor)->Offset, 6) << "\n";
  }
}

StoreSummary Summarize(const std::string& Path, const pi::VariableStore& Store) {
  return {Path,
          pi::VariableStoreFormatName(Store.Format()),
          Store.StoreOffset(),
          Store.VolumeOffset(),
          Store.StoreSize(),
          Store.FreeBytes()};
}

VarRecordRow Row(const pi::VariableRecord& Record) {
  return {Record.Offset,
          Record.StateByte,
          pi::VariableRecordStateName(Record.State),
          Record.Attributes,
          Record.Data.size(),
          pi::FormatGuid(Record.VendorGuid),
          pi::VariableNameText(Record.Name)};
}

// Whether the module reads the variable: unknown without the firmware's code
// image (the table says what it applies when it does), else that firmware's
// answer, in a line after the table.
SetupReading ReadingOn(const std::string& Firmware) {
  SetupReading R{"the module applies, when it reads the variable", {}, {}};
  if (Firmware.empty())
    return R;
  auto Bytes = Need(sio::ReadInputFile(Firmware, kMaxStoreFileSize));
  auto Found = ovmf::FindFirmwareModule(Bytes, packaging::kSioModuleFileName);
  if (!Found) {
    R.Label = "not read there, would apply";
    R.Verdict = Firmware + ": " + Found.Message() + ": no module reads the variable there";
    return R;
  }
  const ovmf::VariableReading Read = ovmf::ReadsSetupVariable(*Found);
  R.Label = Read.Reads ? "applied there" : "not read there, would apply";
  R.Verdict = Firmware + ": " + Read.Why;
  return R;
}

struct StoreOptions {
  StoreChoice Store;
  std::string Firmware;
  std::string Output;
  std::string Attributes; // empty: the stored copy's, or 0x3 for a new variable
  bool ChangeAttributes = false;
  std::string MaxVariableSize;
  std::string KeepFree;
  bool Force = false;
  bool Json = false;
  SetupContentOptions Content;
};

// The attributes to store: the earlier copy's unless --attributes gives
// others, which must match them unless --change-attributes is given (the
// firmware's variable services refuse a write whose attributes differ from
// the stored copy's).
uint32_t ChooseAttributes(const StoreOptions& Options, const pi::VariableRecord* Earlier) {
  if (Options.Attributes.empty())
    return Earlier ? Earlier->Attributes : kDefaultAttributes;
  const uint32_t Given = ParseStoredAttributes(Options.Attributes);
  if (Earlier && Earlier->Attributes != Given && !Options.ChangeAttributes) {
    throw InputError("--attributes: " + VariableAttributesText(Given) +
                     " differ from the stored copy's " +
                     VariableAttributesText(Earlier->Attributes) +
                     "; the firmware refuses later writes whose attributes differ (give "
                     "--change-attributes to change them)");
  }
  return Given;
}

// The firmware's size rules: a record (header, name with NUL, data) no larger
// than its largest variable, and the space it keeps for itself still free.
void CheckSize(const StoreOptions& Options, const pi::VariableStore& Store,
               const pi::NewVariable& Variable) {
  const uint64_t MaxSize =
      Options.MaxVariableSize.empty()
          ? kDefaultMaxVariableSize
          : Need(ParseUnsigned(Options.MaxVariableSize, "--max-variable-size", 0xFFFFFFFF));
  const uint64_t KeepFree = Options.KeepFree.empty()
                                ? kDefaultKeepFree
                                : Need(ParseUnsigned(Options.KeepFree, "--keep-free", 0xFFFFFFFF));
  const size_t Needed = Store.RecordSize(Variable);
  if (Needed > MaxSize) {
    throw InputError("content of " + std::to_string(Variable.Data.size()) +
                     " bytes makes a record of " + std::to_string(Needed) +
                     " bytes, larger than the firmware's largest variable (" + Hex(MaxSize, 2) +
                     " bytes; --max-variable-size raises it)");
  }
  if (Needed <= Store.FreeBytes() && Store.FreeBytes() - Needed < KeepFree) {
    throw InputError("the record of " + std::to_string(Needed) + " bytes would leave " +
                     std::to_string(Store.FreeBytes() - Needed) +
                     " bytes of the store free; the firmware keeps " + Hex(KeepFree, 2) +
                     " bytes for its own records (--keep-free)");
  }
}

VarStoreReport RunStore(const StoreOptions& Options) {
  const std::string& Path = Options.Store.Path;
  if (!Options.Attributes.empty())
    ParseStoredAttributes(Options.Attributes); // bad text is refused before the files are read
  if (!Options.Content.Given())
    throw InputError("no content: give --content FILE, --entry or --from");
  SetupReading Read = ReadingOn(Options.Firmware);
  auto Store = OpenStore(Options.Store);
  // The firmware keeps its fault-tolerant-write areas in the store's volume,
  // after the store. A store that fills its volume with no working block after
  // it has taken their place (erased, they show nothing): writing into it
  // puts variables where the firmware writes its spare copies.
  if (Store.VolumeEnd() && !Store.WorkingBlockOffset() &&
      Store.StoreOffset() + Store.StoreSize() == *Store.VolumeEnd()) {
    throw InputError(Path + ": variable store at " + Hex(Store.StoreOffset(), 2) + ": size " +
                     Hex(Store.StoreSize(), 2) +
                     " fills its volume and no fault-tolerant-write working block follows it; "
                     "the store would reach into the firmware's fault-tolerant-write areas");
  }
  auto Data = Options.Content.Build(kMaxContentFileSize);
  if (Data.empty()) // SetVariable with no data deletes; a store never holds an empty variable
    throw InputError("content is empty: a variable needs at least one byte");

  const std::u16string Name(chip::kSetupVariableName);
  const auto* Earlier = Store.FindValid(Name, pi::kSioSetupVendorGuid);
  const pi::NewVariable Variable{Name, pi::kSioSetupVendorGuid, ChooseAttributes(Options, Earlier),
                                 Data};
  CheckSize(Options, Store, Variable);
  auto Written = Store.WithVariable(Variable);
  if (!Written)
    throw InputError(Path, Written.Failure());
  Need(sio::WriteOutputFile(Options.Output, *Written, "variable store", Options.Force));

  auto After = pi::VariableStore::Open(*Written, Store.VolumeOffset());
  if (!After) // the writer produced what its reader refuses: a fault of ours
    throw std::runtime_error("written store does not read back: " + After.Message());
  VarStoreReport Report;
  Report.Store = Summarize(Path, Store);
  // The records ahead of the new one are the earlier ones, in the same order.
  for (size_t I = 0; I < Store.Records().size(); ++I) {
    const auto& Before = Store.Records()[I];
    if (Before.StateByte != After->Records()[I].StateByte)
      Report.Replaced.push_back({Before.Offset, Before.StateByte, After->Records()[I].StateByte});
  }
  Report.Added = Earlier == nullptr;
  Report.Stored = Row(After->Records().back());
  Report.Output = Options.Output;
  Report.OutputSize = Written->size();
  Report.FreeAfter = After->FreeBytes();
  Read.Data = std::move(Data);
  Report.Setup = std::move(Read);
  return Report;
}

VarListReport RunList(const StoreChoice& Choice, const std::string& Firmware) {
  const std::string& Path = Choice.Path;
  VarListReport Report;
  Report.Setup = ReadingOn(Firmware);
  auto Store = OpenStore(Choice);
  Report.Store = Summarize(Path, Store);
  for (const auto& Record : Store.Records())
    Report.Records.push_back(Row(Record));
  const std::u16string Name(chip::kSetupVariableName);
  const auto* Ours = Store.FindValid(Name, pi::kSioSetupVendorGuid);
  if (!Ours)
    return Report;
  WarnOfCopies(Path, Store, Name, pi::kSioSetupVendorGuid);
  Report.SetupAt = Ours->Offset;
  Report.ValidCopies = Store.ValidCopies(Name, pi::kSioSetupVendorGuid);
  Report.Setup.Data = Ours->Data;
  return Report;
}

} // namespace

void AddVarStoreCommands(CLI::App& Var, int& ExitCode) {
  auto Store = std::make_shared<StoreOptions>();
  auto* StoreCommand = Var.add_subcommand(
      "store", "Add or replace the setup variable in a copy of a firmware variable store");
  StoreCommand
      ->add_option("STORE", Store->Store.Path,
                   "Variable store: bare, its firmware volume, or a flash image holding it")
      ->required();
  StoreCommand
      ->add_option("--volume-at", Store->Store.VolumeAt,
                   "Offset of the volume holding the store, when the image holds more than one")
      ->type_name("OFFSET");
  StoreCommand->add_option("-o,--output", Store->Output, "Store file to write")
      ->type_name("FILE")
      ->required();
  StoreCommand->add_flag("--force", Store->Force, "Replace the output file if it exists");
  StoreCommand
      ->add_option("--attributes", Store->Attributes,
                   "Variable attributes: 0x3 non-volatile + boot service, 0x7 with runtime "
                   "access (default: the stored copy's, or 0x3 for a new variable)")
      ->type_name("BITS");
  StoreCommand->add_flag("--change-attributes", Store->ChangeAttributes,
                         "Let --attributes differ from the stored copy's");
  StoreCommand
      ->add_option("--max-variable-size", Store->MaxVariableSize,
                   "Largest variable the firmware takes, record header and name included "
                   "(default 0x2000)")
      ->type_name("BYTES");
  StoreCommand
      ->add_option("--keep-free", Store->KeepFree,
                   "Bytes of the store left free for the firmware's own records (default 0x800)")
      ->type_name("BYTES");
  StoreCommand
      ->add_option("--firmware", Store->Firmware,
                   "The code image (or flash) the store goes with: say whether the module there "
                   "reads the variable")
      ->type_name("FILE");
  Store->Content.AddTo(*StoreCommand, true);
  StoreCommand->add_flag("--json", Store->Json, "Print the report as one JSON document");
  StoreCommand->callback([Store, &ExitCode] {
    PrintReport(std::cout, RunStore(*Store), Store->Json);
    ExitCode = 0;
  });

  auto ListPath = std::make_shared<StoreChoice>();
  auto* ListCommand = Var.add_subcommand(
      "list", "Show a variable store's records and decode the setup variable's valid copy");
  ListCommand
      ->add_option("STORE", ListPath->Path,
                   "Variable store: bare, its firmware volume, or a flash image holding it")
      ->required();
  ListCommand
      ->add_option("--volume-at", ListPath->VolumeAt,
                   "Offset of the volume holding the store, when the image holds more than one")
      ->type_name("OFFSET");
  auto ListFirmware = std::make_shared<std::string>();
  ListCommand
      ->add_option("--firmware", *ListFirmware,
                   "The code image (or flash) the store goes with: say whether the module there "
                   "reads the variable")
      ->type_name("FILE");
  auto ListJson = std::make_shared<bool>(false);
  ListCommand->add_flag("--json", *ListJson, "Print the report as one JSON document");
  ListCommand->callback([ListPath, ListFirmware, ListJson, &ExitCode] {
    PrintReport(std::cout, RunList(*ListPath, *ListFirmware), *ListJson);
    ExitCode = 0;
  });
}

} // namespace siotool
