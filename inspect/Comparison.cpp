// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/Comparison.h"

#include "common/JsonFields.h"
#include "setup/SioApplySetup.h"

namespace inspect {
namespace {

std::string LikelyReasons(const RegisterKey& Key, const Expectation& Expect) {
  std::string Why;
  if (Key.Device == SioLd8) {
    Why = "setup not applied: the module did not apply the setup variable at this boot, or the "
          "variable changed after it";
  } else {
    Why = "the module did not program the chip at this boot (it did not run or did not find the "
          "chip), or something reprogrammed it after";
  }
  Why += "; or the operating system changed the register later";
  if (!Expect.FromSetupVariable)
    Why += "; or this board is not the one " + Expect.Source + " describes";
  return Why;
}

} // namespace

Comparison Compare(const ChipReading& Reading, const Expectation* Expect) {
  Comparison Out;
  for (const auto& [Key, Value] : Reading.Values) {
    RegisterCheck Check{Key, Value, {}, Mark::Unchecked, {}};
    if (Expect) {
      auto Found = Expect->Registers.find(Key);
      if (Found != Expect->Registers.end())
        Check.Want = Found->second;
    }
    if (Check.Want.Mask == 0) {
      ++Out.Unchecked;
    } else if ((Value & Check.Want.Mask) == Check.Want.Value) {
      Check.Result = Mark::Match;
      ++Out.Matched;
    } else {
      Check.Result = Mark::Differs;
      Check.Reasons = LikelyReasons(Key, *Expect);
      ++Out.Differing;
    }
    Out.Checks.push_back(std::move(Check));
  }
  return Out;
}

const char* MarkName(Mark M) {
  switch (M) {
  case Mark::Match:
    return "match";
  case Mark::Differs:
    return "differs";
  case Mark::Unchecked:
    break;
  }
  return "unchecked";
}

const char* MarkText(Mark M) {
  switch (M) {
  case Mark::Match:
    return "ok";
  case Mark::Differs:
    return "DIFF";
  case Mark::Unchecked:
    break;
  }
  return "--";
}

} // namespace inspect
