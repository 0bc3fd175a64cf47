#include "packaging/TeImage.h"

#include <stdexcept>

#include "packaging/LittleEndian.h"
#include "packaging/Pe32Image.h"

namespace packaging {
namespace {

constexpr uint16_t kTeSignature = 0x5A56; // "VZ"

} // namespace

TeImage ConvertToTe(std::span<const uint8_t> Image) {
  const pe::PeFile Pe = ReadPe32Image(Image);
  if (Pe.SectionAlignment != Pe.FileAlignment) {
    throw std::runtime_error("TE needs the section alignment equal to the file alignment");
  }
  if (Pe.Sections.size() > 0xFF || Pe.Subsystem > 0xFF) {
    throw std::runtime_error("section count or subsystem does not fit a TE header byte");
  }
  if (Pe.SectionTableOffset > 0xFFFF || Pe.SectionTableOffset < kTeHeaderSize ||
      Pe.SectionTableOffset > Image.size()) {
    throw std::runtime_error("headers end at an offset a TE header cannot express");
  }
  TeImage Te;
  Te.StrippedSize = static_cast<uint16_t>(Pe.SectionTableOffset);
  Te.Bytes.assign(kTeHeaderSize, 0);
  PutLe<uint16_t>(Te.Bytes, 0x00, kTeSignature);
  PutLe<uint16_t>(Te.Bytes, 0x02, Pe.Machine);
  Te.Bytes[0x04] = static_cast<uint8_t>(Pe.Sections.size());
  Te.Bytes[0x05] = static_cast<uint8_t>(Pe.Subsystem);
  PutLe<uint16_t>(Te.Bytes, 0x06, Te.StrippedSize);
  PutLe<uint32_t>(Te.Bytes, 0x08, Pe.EntryRva);
  PutLe<uint32_t>(Te.Bytes, 0x0C, Pe.BaseOfCode);
  PutLe<uint64_t>(Te.Bytes, 0x10, Pe.ImageBase);
  PutLe<uint32_t>(Te.Bytes, 0x18, Pe.RelocationRva);
  PutLe<uint32_t>(Te.Bytes, 0x1C, Pe.RelocationSize);
  PutLe<uint32_t>(Te.Bytes, 0x20, Pe.DebugRva);
  PutLe<uint32_t>(Te.Bytes, 0x24, Pe.DebugSize);
  Te.Bytes.insert(Te.Bytes.end(), Image.begin() + Te.StrippedSize, Image.end());
  return Te;
}

} // namespace packaging
