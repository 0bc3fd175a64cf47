// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/SignalHold.h"

#include <ctime>
#include <pthread.h>

namespace inspect {
namespace {

struct HeldSignal {
  int Number;
  const char* Name;
};
constexpr HeldSignal kHeldSignals[] = {
    {SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGQUIT, "SIGQUIT"}};

} // namespace

SignalHold::SignalHold() {
  sigemptyset(&Held_);
  pthread_sigmask(SIG_BLOCK, nullptr, &Previous_);
  for (const HeldSignal& S : kHeldSignals) {
    struct sigaction Action {};
    bool Ignored = sigaction(S.Number, nullptr, &Action) == 0 && Action.sa_handler == SIG_IGN;
    if (!Ignored && !sigismember(&Previous_, S.Number))
      sigaddset(&Held_, S.Number);
  }
  pthread_sigmask(SIG_BLOCK, &Held_, nullptr);
}

int SignalHold::Pending() const {
  if (Released_)
    return 0;
  sigset_t Now;
  sigpending(&Now);
  for (const HeldSignal& S : kHeldSignals) {
    if (sigismember(&Held_, S.Number) && sigismember(&Now, S.Number))
      return S.Number;
  }
  return 0;
}

void SignalHold::Release() {
  if (Released_)
    return;
  Released_ = true;
  const timespec Now{};
  for (int Taken; (Taken = sigtimedwait(&Held_, nullptr, &Now)) > 0;) {
    if (Caught_ == 0)
      Caught_ = Taken;
  }
  pthread_sigmask(SIG_SETMASK, &Previous_, nullptr);
}

std::string SignalName(int Signal) {
  for (const HeldSignal& S : kHeldSignals) {
    if (S.Number == Signal)
      return S.Name;
  }
  return "signal " + std::to_string(Signal);
}

} // namespace inspect
