// SPDX-License-Identifier: BSD-2-Clause-Patent
// The setup page (hii/SetupPage.h) as EDK2 source: the VFR of its formset and
// the UNI file of its English strings, which the EDK2 package ships for
// integrators who merge the questions into a formset of their own. The
// package's copies are these texts (tests/hii hold them equal).
#pragma once

#include <string>

#include "hii/SetupPage.h"

namespace hii {

std::string VfrText(const SetupPage& Page);
// "{ 0xECCF537E, 0x4B4B, 0x4C0C, { 0x96, ... } }": a GUID as C code spells it.
std::string GuidInitializer(const pi::Guid& G);
std::string UniText(const SetupPage& Page);

} // namespace hii
