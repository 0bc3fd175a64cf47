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
// option of Command already added that reads into Value; the two are refused
// together.
template <typename T>
CLI::Option* AddOldSpelling(CLI::App& Command, const std::string& Old, CLI::Option* Current,
                            T& Value) {
  const std::string New = Current->get_name();
  CLI::Option* Hidden = Command.add_option(Old, Value)->group("");
  Hidden->type_name(Current->get_type_name());
  // Runs once the command line is read. The two spellings are refused
  // together here rather than by CLI11's excludes(), which would name the
  // hidden option with an empty name and show it in --help beside the new.
  Hidden->each([Old, New, Current](const std::string&) {
    std::fprintf(stderr, "%s\n", OldSpellingNote(Old, New).c_str());
    if (Current->count() > 0)
      throw CLI::ExcludesError(Old, New);
  });
  return Hidden;
}

// Whether the option was given under either spelling.
inline bool GivenEither(const CLI::Option* Current, const CLI::Option* Old) {
  return (Current && Current->count() > 0) || (Old && Old->count() > 0);
}

} // namespace sio
