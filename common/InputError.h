// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one error a user can cause: bad arguments, a malformed or out-of-range
// scenario or variable, a file that cannot be read. Its message is one line
// that names the field or argument and the reason; `sio` exits with code 2.
#pragma once

#include <stdexcept>
#include <string>

#include "common/Result.h"

namespace siotool {

// Kind says which: bad input, or input refused (exit code 2 either way, as
// sio::ExitCodeFor gives it).
class InputError : public std::runtime_error {
public:
  explicit InputError(const std::string& Message, sio::ErrorKind Kind = sio::ErrorKind::BadInput)
      : std::runtime_error(Message), Kind(Kind) {}
  // A library's error, with Context in front ("--image: PATH").
  InputError(const std::string& Context, const sio::Error& Failure)
      : InputError(Context + ": " + Failure.Message, Failure.Kind) {}
  sio::ErrorKind Kind;
};

} // namespace siotool
