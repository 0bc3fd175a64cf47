// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one error a user can cause: bad arguments, a malformed or out-of-range
// scenario or variable, a file that cannot be read. Its message is one line
// that names the field or argument and the reason; `sio` exits with code 2.
#pragma once

#include <stdexcept>
#include <string>

namespace siotool {

class InputError : public std::runtime_error {
public:
  explicit InputError(const std::string& Message) : std::runtime_error(Message) {}
};

} // namespace siotool
