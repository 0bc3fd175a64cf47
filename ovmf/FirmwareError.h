// Thrown when a firmware image, volume or file is not laid out the way the
// OVMF tools expect, or has no room for what is asked; the message says which
// and why, in one line.
#pragma once

#include <stdexcept>

namespace ovmf {

class FirmwareError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

} // namespace ovmf
