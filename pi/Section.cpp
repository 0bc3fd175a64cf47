// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "pi/Section.h"

#include "common/Hex.h"
#include "pi/Records.h"

namespace pi {

using sio::Hex;

sio::Result<std::vector<SectionView>> ParseSections(std::span<const uint8_t> Bytes) {
  std::vector<SectionView> Sections;
  size_t Offset = 0;
  while (Offset < Bytes.size()) {
    const std::string Where = "section at " + Hex(Offset);
    SectionHeader2 Large{};
    if (!ReadRecord(Bytes, Offset, Large.Base))
      return sio::Fail(Where + " is cut short");
    SectionView S;
    S.Offset = Offset;
    S.Type = Large.Base.Type;
    S.Size = Large.Base.Size;
    S.HeaderSize = sizeof(SectionHeader);
    if (S.Size == kMaxSize24) {
      if (!ReadRecord(Bytes, Offset, Large))
        return sio::Fail(Where + " is cut short");
      S.HeaderSize = sizeof(SectionHeader2);
      S.Size = Large.ExtendedSize;
    }
    if (S.Size < S.HeaderSize || S.Size > Bytes.size() - Offset)
      return sio::Fail(Where + " has a size (" + Hex(S.Size) + ") that does not fit");
    Sections.push_back(S);
    Offset = AlignUp(Offset + S.Size, kSectionAlignment);
  }
  return Sections;
}

sio::Result<void> AppendSection(std::vector<uint8_t>& Data, uint8_t Type,
                                std::span<const uint8_t> Body) {
  const size_t Size = sizeof(SectionHeader) + Body.size();
  if (Size >= kMaxSize24)
    return sio::Fail("section too large for a 24-bit size");
  SectionHeader Header{};
  Header.Size = static_cast<uint32_t>(Size);
  Header.Type = Type;
  const auto* Raw = reinterpret_cast<const uint8_t*>(&Header);
  Data.insert(Data.end(), Raw, Raw + sizeof Header);
  Data.insert(Data.end(), Body.begin(), Body.end());
  return {};
}

std::vector<uint8_t> UserInterfaceBody(std::u16string_view Name) {
  std::vector<uint8_t> Body;
  for (char16_t C : Name) {
    Body.push_back(static_cast<uint8_t>(C));
    Body.push_back(static_cast<uint8_t>(C >> 8));
  }
  Body.push_back(0);
  Body.push_back(0);
  return Body;
}

} // namespace pi
