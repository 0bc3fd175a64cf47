// SPDX-License-Identifier: BSD-2-Clause-Patent
// The one way a command prints a JSON document: indented two spaces, every
// string in it (keys too) well-formed UTF-8. A path or text from a file whose
// bytes are not UTF-8 neither stops the printer nor is lost: each such byte
// is written as \xNN, as the text printers show it (common/Hex.h).
#pragma once

#include <string>
#include <string_view>

#include "common/JsonFields.h"

namespace sio {

// Text as well-formed UTF-8: each byte that is not part of a well-formed
// sequence (a stray continuation byte, an overlong form, a surrogate, a code
// point past U+10FFFF, a sequence cut short) written as \xNN.
std::string WellFormedUtf8(std::string_view Text);

// Doc as printed, with a final newline.
std::string JsonDocument(const siotool::Json& Doc);

} // namespace sio
