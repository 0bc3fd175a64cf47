// SPDX-License-Identifier: BSD-2-Clause-Patent
// The report of one `sio ovmf` run: the firmware, the module and where it
// went, the files written and whether they are kept, the boot and the
// module's port accesses against the board model's. One text printer (in two
// parts, so that a reader sees the plan before a boot of up to minutes) and
// one JSON printer show the same report.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/JsonFields.h"
#include "ovmf/OvmfRun.h"

namespace siotool {

struct OvmfReport {
  ovmf::OvmfRun Run;
  std::string Firmware;    // the code image read
  bool DepexGiven = false; // --depex chose the packing's dependency
  uint32_t Attributes = 0; // of the stored setup variable
  unsigned Bound = 0;      // seconds the boot may take
  bool Kernel = false;     // a kernel boots after the firmware
  // The temporary folder the patched code image and store went to when no -o
  // or --vars-output named them (removed at exit); empty: they are kept.
  std::string TemporaryFolder;
  bool OutputKept = true;
  bool VarsKept = true;
  // With choices made on the setup page: the variable as `sio setup
  // --choose` computes it for them.
  std::optional<std::vector<uint8_t>> ChosenValues;

  // The bytes the firmware stored after the choices equal the computed ones
  // (true when no choice was made).
  bool SetupAgrees() const { return !ChosenValues || (Run.Shown && *Run.Shown == *ChosenValues); }
  bool Passed() const { return Run.Passed() && SetupAgrees(); }
};

// The plan: what was read, chosen, inserted and written (everything with
// --no-boot).
void PrintOvmfPlan(std::ostream& Out, const OvmfReport& Report);
// The boot about to start.
void PrintOvmfBootStart(std::ostream& Out, const OvmfReport& Report);
// The boot's outcome: the module's port accesses, the model's verdict, the
// variable read back and how the boot ended.
void PrintOvmfOutcome(std::ostream& Out, const OvmfReport& Report);

Json OvmfReportToJson(const OvmfReport& Report);

} // namespace siotool
