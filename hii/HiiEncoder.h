// SPDX-License-Identifier: BSD-2-Clause-Patent
// A setup page (hii/SetupPage.h) as the bytes the HII database takes: the
// form package (IFR), the English string package, and the package list that
// holds both and the end package.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Result.h"
#include "hii/SetupPage.h"

namespace hii {

struct EncodedPage {
  std::vector<uint8_t> FormPackage;
  std::vector<uint8_t> StringPackage;
  std::vector<uint8_t> PackageList; // header, form package, string package, end package
  // The strings in id order: Strings[0] has id 1 (the language's name).
  std::vector<std::string> Strings;
};

// Refuses a page whose strings are not printable ASCII, whose questions
// share an id or lie outside the variable, whose numeric range or one-of
// options do not hold their default, or whose variable name is not ASCII.
sio::Result<EncodedPage> EncodePage(const SetupPage& Page);

} // namespace hii
