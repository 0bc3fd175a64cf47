// SPDX-License-Identifier: BSD-2-Clause-Patent
// The OVMF builds Debian ships (/usr/share/OVMF), as UEFIExtract shows them:
// PeiCore's and DxeCore's machine, whether a PeiVariable PEIM is in the PEI
// volume, the variable store beside the code image and the QEMU that runs the
// whole firmware. One table for the tests that read them and the tests that
// boot them.
#pragma once

#include <cctype>
#include <string>
#include <vector>

#include "ovmf/FirmwareSurvey.h"

namespace testsupport {

struct OvmfBuild {
  const char* Code;
  ovmf::Processor Pei;
  ovmf::Processor Dxe;
  bool VariableService; // a PEIM installs the read-only variable PPI
  const char* Vars;
  const char* Qemu;
  bool Booted; // one of the builds the boot tests run the module on
};

using ovmf::Processor;
inline constexpr OvmfBuild kDebianBuilds[] = {
    {"OVMF32_CODE_4M.secboot.fd", Processor::Ia32, Processor::Ia32, true, "OVMF32_VARS_4M.fd",
     "qemu-system-i386", true},
    {"OVMF_CODE_4M.fd", Processor::Ia32, Processor::X64, false, "OVMF_VARS_4M.fd",
     "qemu-system-x86_64", true},
    {"OVMF_CODE_4M.secboot.fd", Processor::Ia32, Processor::X64, true, "OVMF_VARS_4M.fd",
     "qemu-system-x86_64", true},
    {"OVMF_CODE_4M.ms.fd", Processor::Ia32, Processor::X64, true, "OVMF_VARS_4M.ms.fd",
     "qemu-system-x86_64", false},
    {"OVMF_CODE_4M.snakeoil.fd", Processor::Ia32, Processor::X64, true, "OVMF_VARS_4M.snakeoil.fd",
     "qemu-system-x86_64", false},
    {"OVMF_CODE.fd", Processor::X64, Processor::X64, false, "OVMF_VARS.fd", "qemu-system-x86_64",
     true},
    {"OVMF_CODE.secboot.fd", Processor::X64, Processor::X64, true, "OVMF_VARS.fd",
     "qemu-system-x86_64", true},
    {"OVMF_CODE.ms.fd", Processor::X64, Processor::X64, true, "OVMF_VARS.ms.fd",
     "qemu-system-x86_64", false},
};

inline std::vector<OvmfBuild> BootedBuilds() {
  std::vector<OvmfBuild> Builds;
  for (const OvmfBuild& B : kDebianBuilds)
    if (B.Booted)
      Builds.push_back(B);
  return Builds;
}

// The code image's name as a test name.
template <typename Info> std::string BuildTestName(const Info& I) {
  std::string Name = I.param.Code;
  for (char& C : Name)
    if (!std::isalnum(static_cast<unsigned char>(C)))
      C = '_';
  return Name;
}

} // namespace testsupport
