// SPDX-License-Identifier: BSD-2-Clause-Patent
// Runs a fuzz target's entry once per file, without libFuzzer: each argument
// is a file or a folder of files (a corpus). Lets the normal test suite replay
// the kept corpora and every crash found so far.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace {

int Replay(const std::filesystem::path& File) {
  std::ifstream In(File, std::ios::binary);
  if (!In) {
    std::fprintf(stderr, "cannot read %s\n", File.c_str());
    return 1;
  }
  std::vector<uint8_t> Bytes((std::istreambuf_iterator<char>(In)),
                             std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(Bytes.data(), Bytes.size());
  return 0;
}

} // namespace

int main(int Argc, char** Argv) {
  int Failures = 0;
  size_t Inputs = 0;
  for (int I = 1; I < Argc; ++I) {
    std::filesystem::path Path(Argv[I]);
    std::error_code Error;
    if (std::filesystem::is_directory(Path, Error)) {
      for (const auto& Entry : std::filesystem::directory_iterator(Path)) {
        if (Entry.is_regular_file()) {
          Failures += Replay(Entry.path());
          ++Inputs;
        }
      }
    } else {
      Failures += Replay(Path);
      ++Inputs;
    }
  }
  std::printf("%zu inputs replayed\n", Inputs);
  return Inputs == 0 || Failures != 0;
}
