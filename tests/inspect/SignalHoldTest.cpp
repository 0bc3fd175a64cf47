// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "common/RunMain.h"
#include "inspect/SignalHold.h"

#include <gtest/gtest.h>

#include <pthread.h>

namespace inspect::test {
namespace {

bool Blocked(int Signal) {
  sigset_t Mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &Mask);
  return sigismember(&Mask, Signal) == 1;
}

// A signal that would end the process, raised while held, waits until the
// hold is released, which takes it; the signal mask is then as before.
TEST(SignalHold, KeepsAnEndingSignalUntilReleased) {
  for (int Signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(SignalName(Signal));
    SignalHold Hold;
    EXPECT_TRUE(Blocked(Signal));
    EXPECT_EQ(Hold.Pending(), 0);
    std::raise(Signal);
    EXPECT_EQ(Hold.Pending(), Signal);
    Hold.Release();
    EXPECT_EQ(Hold.Caught(), Signal);
    EXPECT_FALSE(Blocked(Signal));
  }
  // A signal the process ignores (SIGHUP under nohup) is left to that.
  auto Previous = std::signal(SIGHUP, SIG_IGN);
  {
    SignalHold Hold;
    EXPECT_FALSE(Blocked(SIGHUP));
    std::raise(SIGHUP);
    EXPECT_EQ(Hold.Pending(), 0);
    Hold.Release();
    EXPECT_EQ(Hold.Caught(), 0);
  }
  std::signal(SIGHUP, Previous);
}

volatile std::sig_atomic_t HandlerRan = 0;
extern "C" void CountingHandler(int) {
  HandlerRan = HandlerRan + 1;
}

// A signal the process handles is held as one left at its default action is:
// its handler does not run while the hold lasts, and Release takes it.
TEST(SignalHold, HoldsASignalWithAHandlerInstalled) {
  for (int Signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(SignalName(Signal));
    HandlerRan = 0;
    auto Previous = std::signal(Signal, CountingHandler);
    {
      SignalHold Hold;
      EXPECT_TRUE(Blocked(Signal));
      std::raise(Signal);
      EXPECT_EQ(HandlerRan, 0);
      EXPECT_EQ(Hold.Pending(), Signal);
      Hold.Release();
      EXPECT_EQ(Hold.Caught(), Signal);
    }
    EXPECT_EQ(HandlerRan, 0);
    std::signal(Signal, Previous);
  }
}

// After the chip is put back, the process ends by the signal it got, as if
// it had not been held, even with the signal blocked or handled meanwhile.
TEST(SignalHold, EndBySignalEndsTheProcessByIt) {
  for (int Signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(SignalName(Signal));
    EXPECT_EXIT(
        {
          std::signal(Signal, [](int) {});
          SignalHold Hold;
          sio::EndBySignal(Signal);
          std::exit(0);
        },
        testing::KilledBySignal(Signal), "");
  }
}

} // namespace
} // namespace inspect::test
