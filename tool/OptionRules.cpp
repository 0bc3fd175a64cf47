// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "tool/OptionRules.h"

#include <string>

#include "common/Hex.h"
#include "common/Number.h"

namespace siotool {

void RefuseEmptyValues(CLI::App& App) {
  for (CLI::Option* Option : App.get_options()) {
    if (Option->get_type_size_max() == 0)
      continue; // a flag
    Option->check(CLI::Validator(
        [](const std::string& Value) {
          return Value.empty() ? std::string("empty value") : std::string();
        },
        "", "NONEMPTY"));
  }
  for (CLI::App* Command : App.get_subcommands([](CLI::App*) { return true; }))
    RefuseEmptyValues(*Command);
}

CLI::Validator DecimalOrHex(uint64_t Min, uint64_t Max) {
  return CLI::Validator(
      [Min, Max](std::string& Text) {
        const auto Value = sio::ParseNumber(Text);
        const std::string Range = "from " + sio::Hex(Min) + " to " + sio::Hex(Max);
        if (!Value)
          return "\"" + Text + "\" is not a number (" + sio::kNumberRule + ", " + Range + ")";
        if (*Value < Min || *Value > Max)
          return Text + " is out of range (" + Range + ")";
        Text = std::to_string(*Value);
        return std::string();
      },
      "", kNumberValidatorName);
}

} // namespace siotool
