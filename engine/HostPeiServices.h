// SPDX-License-Identifier: BSD-2-Clause-Patent
// A PEI services table and a read-only variable PPI in host memory whose
// functions call the board's PEI Foundation model, so the host build of the
// module calls its services exactly as it does on the platform.
#pragma once

#include <cstdint>
#include <vector>

#include "board/Board.h"
#include "platform/PiPei.h"

namespace engine {

// IA-32 status (bit 31 the error bit) to the host's EFI_STATUS and back.
EFI_STATUS ToHostStatus(uint32_t Status);
uint32_t FromHostStatus(EFI_STATUS Status);

class HostPeiServices {
public:
  explicit HostPeiServices(board::Board& Owner);
  HostPeiServices(const HostPeiServices&) = delete;
  HostPeiServices& operator=(const HostPeiServices&) = delete;

  // Installs the read-only variable PPI in the board's PEI Foundation, unless
  // the board's faults leave it out; the constructor does it for the board as
  // built, a reused board needs it again after each reset.
  void PreinstallVariablePpi();

  // The pointer the PEI Foundation hands a module's entry point.
  const EFI_PEI_SERVICES** PeiServices() { return &Context_.Services; }

  struct Context {
    const EFI_PEI_SERVICES* Services; // first: PeiServices points here
    board::Board* Owner;
    EFI_PEI_SERVICES Table;
    EFI_PEI_READ_ONLY_VARIABLE2_PPI VariablePpi;
    EFI_PEI_PPI_DESCRIPTOR VariableDescriptor;
    std::vector<board::PpiDescriptor> PpiList; // InstallPpi's copy of the caller's list
  };

private:
  Context Context_{};
};

} // namespace engine
