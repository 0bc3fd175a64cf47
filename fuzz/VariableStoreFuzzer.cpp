// SPDX-License-Identifier: BSD-2-Clause-Patent
// Fuzz target: the variable store reader on any bytes, and the writer on
// every store it accepts. A store that opens has its records inside the store
// and erased space after them; adding the setup variable to it either fails
// with a message or gives bytes that open again with exactly one valid copy
// and one more record, the rest of the bytes as they were.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pi/VariableStore.h"

namespace {

constexpr pi::Guid kVendor = pi::GuidFromText("CD2E75EC-4162-411D-B7F1-E1D882E697AB");

[[noreturn]] void Broken(const std::string& What) {
  std::fprintf(stderr, "variable store invariant broken: %s\n", What.c_str());
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  std::span<const uint8_t> Bytes(Data, Size);
  auto Store = pi::VariableStore::Open(Bytes);
  if (!Store) {
    if (Store.Message().empty() || Store.Message().find('\n') != std::string::npos)
      Broken("error is not one line: " + Store.Message());
    return 0;
  }
  const size_t End = Store->StoreOffset() + Store->StoreSize();
  if (End > Size || Store->FreeOffset() > End)
    Broken("store or its free space past the end of the bytes");
  for (const auto& Record : Store->Records()) {
    if (Record.Offset < Store->StoreOffset() || Record.Offset >= Store->FreeOffset())
      Broken("record outside the store's used space");
  }

  const uint8_t Content[5] = {0x00, 0x00, 0x00, 0x12, 0x00};
  const std::u16string Name = u"SioF81216aSetup00";
  auto Written = Store->WithVariable({Name, kVendor, 0x3, Content});
  if (!Written) {
    if (Store->FreeBytes() >= Store->RecordSize({Name, kVendor, 0x3, Content}))
      Broken("refused although it fits: " + Written.Message());
    return 0;
  }
  if (Written->size() != Size)
    Broken("written store changed size");
  auto Again = pi::VariableStore::Open(*Written);
  if (!Again)
    Broken("written store does not open: " + Again.Message());
  if (Again->Records().size() != Store->Records().size() + 1)
    Broken("written store does not hold one more record");
  size_t Valid = 0;
  for (const auto& Record : Again->Records())
    Valid += Record.Valid() && Record.Is(Name, kVendor);
  const auto* Ours = Again->FindValid(Name, kVendor);
  if (Valid != 1 || !Ours || Ours->Data != std::vector<uint8_t>(Content, Content + 5))
    Broken("written store does not hold exactly one valid copy with the content");
  for (size_t I = 0; I < Store->FreeOffset(); ++I) {
    if ((*Written)[I] != Data[I] && ((*Written)[I] & ~Data[I]) != 0)
      Broken("an earlier byte gained a bit (flash only clears bits)");
  }
  return 0;
}
