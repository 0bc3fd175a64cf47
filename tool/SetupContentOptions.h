// SPDX-License-Identifier: BSD-2-Clause-Patent
// The options that give the setup variable's content, shared by
// `sio var encode` and `sio var store`: readable entries (--entry, --trailer),
// a JSON variable object (--from) or, where offered, a binary file (--content).
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace siotool {

class SetupContentOptions {
public:
  // Adds the options to Command; with ContentFile also --content FILE.
  void AddTo(CLI::App& Command, bool ContentFile);
  // True when any of the options was given.
  bool Given() const;
  // The content; at most MaxFileSize bytes from --content. Throws InputError
  // naming the option.
  std::vector<uint8_t> Build(size_t MaxFileSize) const;

private:
  std::vector<std::string> Entries_;
  std::string Trailer_;
  std::string FromFile_;
  std::string ContentFile_;
  CLI::Option* EntryOption_ = nullptr;
  CLI::Option* TrailerOption_ = nullptr;
  CLI::Option* FromOption_ = nullptr;
  CLI::Option* ContentOption_ = nullptr;
};

// The attributes a stored setup variable gets, from --attributes: a number no
// store write refuses (no authenticated-write attributes); an InputError
// naming the flag otherwise.
uint32_t ParseStoredAttributes(const std::string& Text);

// The variable's content as `sio var` shows it (FormatSetupTable), a line each.
void PrintSetupTable(std::ostream& Out, std::span<const uint8_t> Data,
                     std::string_view ActedOn = "acted on");

} // namespace siotool
