// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "engine/HostEngine.h"

#include "engine/HostPortIo.h"
#include "entry/SioEntryPoint.h"

namespace engine {

uint32_t RunHostPass(board::Board& Target) {
  HostPeiServices Services(Target);
  ScopedPortBus Bus(Target.Bus());
  return FromHostStatus(SioEntryPoint(nullptr, Services.PeiServices()));
}

board::PassResult RunHostPass(const board::Scenario& Scenario) {
  board::Board Target(Scenario);
  uint32_t Status = RunHostPass(Target);
  return Target.Result(Status);
}

HostEngine::HostEngine() : Board_(board::Scenario{}), Services_(Board_) {}

uint32_t HostEngine::Run(const board::Scenario& Scenario) {
  Board_.Reset(Scenario);
  Services_.PreinstallVariablePpi();
  ScopedPortBus Bus(Board_.Bus());
  Status_ = FromHostStatus(SioEntryPoint(nullptr, Services_.PeiServices()));
  return Status_;
}

} // namespace engine
