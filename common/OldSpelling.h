// SPDX-License-Identifier: BSD-2-Clause-Patent
// An option's old spelling, kept for one minor version after a rename: it is
// left out of --help (CLI11's hidden group ""), reads into the same value as
// the new spelling, excludes it, and prints one note on stderr when used:
//   sio: note: --named is now --scenario; the old spelling goes in 1.3
// The programs that parse the options link CLI11.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

namespace sio {

// The minor version whose release drops the old spellings.
inline constexpr const char* kOldSpellingsGoIn = "1.3";

inline std::string OldSpellingNote(const std::string& Old, const std::string& New) {
  return "sio: note: " + Old + " is now " + New + "; the old spelling goes in " + kOldSpellingsGoIn;
}

// Adds Old (e.g. "--named") to Command as the hidden spelling of Current, an
// option of Command already added that reads into Value.
template <typename T>
CLI::Option* AddOldSpelling(CLI::App& Command, const std::string& Old, CLI::Option* Current,
                            T& Value) {
  const std::string New = Current->get_name();
  CLI::Option* Hidden = Command.add_option(Old, Value)->group("")->excludes(Current);
  // CLI11 makes the exclusion mutual, which --help would show beside the new
  // spelling; the old one's side alone refuses the two together.
  Current->remove_excludes(Hidden);
  Hidden->type_name(Current->get_type_name());
  Hidden->each([Old, New](const std::string&) {
    std::fprintf(stderr, "%s\n", OldSpellingNote(Old, New).c_str());
  });
  return Hidden;
}

// Whether the option was given under either spelling.
inline bool GivenEither(const CLI::Option* Current, const CLI::Option* Old) {
  return (Current && Current->count() > 0) || (Old && Old->count() > 0);
}

} // namespace sio
