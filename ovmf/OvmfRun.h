// SPDX-License-Identifier: BSD-2-Clause-Patent
// The module under OVMF, end to end: the firmware read for what it needs
// (PEI's and DXE's processor modes, a PEI variable service), the module image
// built for PEI's mode packed with a dependency the firmware can meet (or a
// firmware file taken as it is), inserted into the PEI volume and the image
// rebuilt and checked, the setup variable stored, the result booted under a
// QEMU that runs the whole firmware, the module's runs picked out of the
// trace and compared with the board model's pass of the same board, and,
// when it was not dispatched, why as far as the firmware tells.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "board/Scenario.h"
#include "chip/BoardValues.h"
#include "common/Result.h"
#include "ovmf/FirmwareModule.h"
#include "ovmf/FirmwareSurvey.h"
#include "ovmf/PeiVolumeInserter.h"
#include "ovmf/QemuRunner.h"
#include "ovmf/SetupDriverStep.h"
#include "ovmf/SetupPageSession.h"
#include "packaging/SioModuleFile.h"
#include "pi/Trace.h"

namespace ovmf {

// A module image and the processor mode it was built for.
struct ModuleImage {
  Processor Mode = Processor::Ia32;
  std::string Path;
};

struct OvmfRun;

struct OvmfRequest {
  std::string Firmware; // the code image
  std::string Vars;     // the variable store to copy; empty: the one beside the code image
  // Where the patched code image and the store with the setup variable go;
  // empty: the firmware's and the store's file names with ".sio" before
  // ".fd", in OutputFolder (empty: the current folder).
  std::string Output;
  std::string VarsOutput;
  std::string OutputFolder;
  // The module: this firmware file as it is, or (empty) the one of Images
  // built for PEI's mode, packed with Depex (none: the variable PPI when the
  // firmware has a PEI variable service, else TRUE).
  std::string FfsFile;
  std::vector<ModuleImage> Images;
  std::optional<packaging::DepexChoice> Depex;
  // A firmware that already holds the module (as the platform's build put it
  // there) boots that copy as it is, unless this is set: the file or image
  // given then takes its place.
  bool Replace = false;
  InsertAt Where = InsertAt::End;
  // Insert a module whose image is built for the other processor mode than
  // the firmware's PEI (it is never dispatched); refused otherwise.
  bool OtherMode = false;
  // Add the setup driver, the one of DriverImages built for DXE's mode, to
  // the DXE volume beside the module.
  bool SetupDriver = false;
  std::vector<ModuleImage> DriverImages;
  // Setup driven through the console in place of the Shell (needs the
  // driver): the page shown, and with choices, saved, the machine reset and
  // the variable dumped; the pass judged is then the next boot's, against the
  // board model given the bytes the dump showed.
  std::optional<SetupPageScript> SetupPage;
  // The board QEMU and the board model run (a stand-in chip or none); its
  // setup variable is stored in the copy of the variable store the boot uses.
  // Its variable PPI follows the firmware: taken away when the module is
  // dispatched where no variable service is.
  board::Scenario Board;
  std::string BoardSource; // names the board in messages: "--chip-port", a scenario
  uint32_t Attributes = 0x3;
  std::string Qemu; // empty: qemu-system-i386 for an all-IA-32 firmware, else qemu-system-x86_64
  std::chrono::seconds Bound{120};
  bool Boot = true;
  // After the firmware: a kernel and its arguments (QEMU -kernel ...); the
  // boot then runs until QEMU ends and the variable is not read back.
  std::vector<std::string> KernelArgs;
  // Called once everything is written and chosen, just before the boot.
  std::function<void(const OvmfRun&)> BeforeBoot;
};

struct OvmfRun {
  FirmwareSurvey Firmware;
  uint32_t PeiAddress = 0;
  // The module: where it came from, packed here from an image or given as a file.
  std::string ModuleSource;
  // The copy the firmware held: booted as it is (Held set, Replaced false), or
  // taken out for the one given (Replaced true).
  std::optional<FirmwareModule> Held;
  bool BootsHeld = false;
  bool Replaced = false;
  bool Packed = false;
  std::optional<Processor> ModuleMode; // its image's mode (nothing: another machine)
  std::vector<uint8_t> Depex;          // its dependency expression as the file carries it
  std::optional<packaging::DepexChoice> DepexChoice; // when packed
  chip::BoardValues Module = chip::DefaultBoardValues();
  Insertion Added;
  std::optional<AddedDriver> Driver;    // the setup driver, when asked for
  std::optional<SetupPageOutcome> Page; // what driving Setup saw
  std::string Qemu;
  bool QemuChosen = false;
  std::string Vars; // the store copied
  bool VarsChosen = false;
  std::string VarsBooted; // the store the boot copies
  // Why the file cannot be dispatched, known before the boot (empty: it can).
  std::vector<std::string> Foreseen;
  std::string Output;                // the patched code image as written
  std::optional<size_t> SetupStored; // bytes stored as the setup variable
  board::Scenario Board;             // as the board model runs it
  bool VariablePpiAtDispatch = true; // the board model's assumption
  // The boot (nothing with Boot false or when QEMU could not run it).
  std::optional<QemuBoot> Booted;
  std::string BootError;       // QEMU could not be started or held
  bool KernelBooted = false;   // a kernel ran after the firmware, until QEMU ended
  std::vector<pi::Trace> Runs; // the module's runs, one per dispatch
  pi::Trace Model;             // the board model's pass as QEMU records it
  bool SameAsModel = false;    // one run, access for access the model's
  // The setup variable as `dmpstore` showed it, or why it was not read back.
  std::optional<std::vector<uint8_t>> Shown;
  std::string NotShown;
  // Why the module made no access, as far as the firmware tells (empty when it ran).
  std::vector<std::string> NotDispatched;
  // The module ran once, matched the model, the Shell (or the kernel's end)
  // was reached and any stored variable read back.
  bool Passed() const;
};

// The pipeline above, as named phases run in turn (ovmf/OvmfRun.cpp): the
// firmware read; the module's file taken or packed, inserted, its board values
// read and the image rebuilt (or the copy the firmware holds used); the store
// prepared, the outputs written, the dispatch foreseen, the boot, the module's
// runs read. An error (nothing booted) for input that cannot be used: a firmware laid out
// otherwise, a file or image refused, no image for PEI's mode, no variable store to be found, a
// board QEMU cannot stand in for.
sio::Result<OvmfRun> RunUnderOvmf(const OvmfRequest& Request);

// The variable store that belongs to a code image: in its folder, "CODE" in
// the name becomes "VARS" (OVMF_CODE_4M.ms.fd -> OVMF_VARS_4M.ms.fd); without
// such a file, the name without its ".secboot" part (OVMF_CODE.secboot.fd ->
// OVMF_VARS.fd). Code and store together must fill a flash of a power of two
// (3.5 MiB + 528 KiB, 1.875 MiB + 128 KiB). An error when none is found.
sio::Result<std::string> VariableStoreFor(const std::string& Code, uint64_t CodeSize);

// The QEMU that runs the whole firmware: qemu-system-i386 when PEI and DXE
// are both IA-32, qemu-system-x86_64 otherwise (it runs every build).
std::string QemuFor(const FirmwareSurvey& Firmware);

// A file name for a changed copy of Path: ".sio" before its ".fd"
// (OVMF_CODE_4M.fd -> OVMF_CODE_4M.sio.fd), no folder.
std::string ChangedCopyName(const std::string& Path);

} // namespace ovmf
