// SPDX-License-Identifier: BSD-2-Clause-Patent
// Holding back the signals that would end `sio inspect` (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT) while the chip is in configuration mode: held, a signal
// stays pending, the reading sees it between two accesses, puts the chip back
// as found, and the process then ends by that signal the usual way.
#pragma once

#include <csignal>
#include <string>

namespace inspect {

class SignalHold {
public:
  // Blocks the signals in the calling thread, but those already blocked or
  // ignored (e.g. SIGHUP under nohup): their owner decided about them.
  SignalHold();
  ~SignalHold() { Release(); }
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

  // A held signal that arrived and is still pending; 0 when none.
  int Pending() const;
  // Ends the hold: takes the held signals that arrived (the first is kept
  // for Caught) and puts the signal mask back.
  void Release();
  // The first held signal taken by Release; 0 when none arrived.
  int Caught() const { return Caught_; }

private:
  sigset_t Held_;
  sigset_t Previous_;
  bool Released_ = false;
  int Caught_ = 0;
};

// "SIGTERM" for the held signals, else "signal N".
std::string SignalName(int Signal);

} // namespace inspect
