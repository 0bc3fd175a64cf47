#include "engine/HostEngine.h"

#include "engine/HostPeiServices.h"
#include "engine/HostPortIo.h"
#include "entry/SioEntryPoint.h"

namespace engine {

uint32_t RunHostPass(board::Board& Target) {
  HostPeiServices Services(Target);
  ScopedPortBus Bus(Target.Bus());
  return FromHostStatus(SioEntryPoint(nullptr, Services.PeiServices()));
}

board::PassResult RunHostPass(const board::Scenario& Config) {
  board::Board Target(Config);
  uint32_t Status = RunHostPass(Target);
  return Target.Result(Status);
}

} // namespace engine
