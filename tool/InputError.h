// SPDX-License-Identifier: BSD-2-Clause-Patent
// How a `sio` command stops at an error: the libraries below give back a
// sio::Result; a command that cannot go on throws its error as an InputError,
// which the program's main (sio::RunMain) reports as the one error line and
// ends with the exit code the error's kind calls for.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

#include "common/Result.h"

namespace siotool {

class InputError : public std::runtime_error {
public:
  explicit InputError(const std::string& Message, sio::ErrorKind Kind = sio::ErrorKind::BadInput)
      : std::runtime_error(Message), Kind(Kind) {}
  explicit InputError(const sio::Error& Failure)
      : std::runtime_error(Failure.Message), Kind(Failure.Kind), Signal(Failure.Signal) {}
  // A library's error, with Context in front ("--image: PATH").
  InputError(const std::string& Context, const sio::Error& Failure)
      : std::runtime_error(Context + ": " + Failure.Message), Kind(Failure.Kind),
        Signal(Failure.Signal) {}
  sio::Error Failure() const { return {what(), Kind, Signal}; }
  sio::ErrorKind Kind;
  int Signal = 0;
};

// The value a library gave back, or its error thrown (Context in front when
// given: "--output", "--content").
template <typename T> T Need(sio::Result<T> Got, const std::string& Context = {}) {
  if (!Got)
    throw Context.empty() ? InputError(Got.Failure()) : InputError(Context, Got.Failure());
  return std::move(*Got);
}
inline void Need(const sio::Result<void>& Done, const std::string& Context = {}) {
  if (!Done)
    throw Context.empty() ? InputError(Done.Failure()) : InputError(Context, Done.Failure());
}

} // namespace siotool
