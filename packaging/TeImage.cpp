#include "packaging/TeImage.h"

#include <stdexcept>

#include "packaging/LittleEndian.h"
#include "packaging/PeImage.h"

namespace packaging {
namespace {

constexpr uint16_t kTeSignature = 0x5A56; // "VZ"

} // namespace

TeImage ConvertToTe(std::span<const uint8_t> Image) {
  const PeImageInfo Pe = ReadPeImage(Image);
  if (Pe.SectionAlignment != Pe.FileAlignment) {
    throw std::runtime_error("TE needs the section alignment equal to the file alignment");
  }
  if (Pe.NumberOfSections > 0xFF || Pe.Subsystem > 0xFF) {
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
  Te.Bytes[0x04] = static_cast<uint8_t>(Pe.NumberOfSections);
  Te.Bytes[0x05] = static_cast<uint8_t>(Pe.Subsystem);
  PutLe<uint16_t>(Te.Bytes, 0x06, Te.StrippedSize);
  PutLe<uint32_t>(Te.Bytes, 0x08, Pe.AddressOfEntryPoint);
  PutLe<uint32_t>(Te.Bytes, 0x0C, Pe.BaseOfCode);
  PutLe<uint64_t>(Te.Bytes, 0x10, Pe.ImageBase);
  PutLe<uint32_t>(Te.Bytes, 0x18, Pe.BaseRelocation.VirtualAddress);
  PutLe<uint32_t>(Te.Bytes, 0x1C, Pe.BaseRelocation.Size);
  PutLe<uint32_t>(Te.Bytes, 0x20, Pe.Debug.VirtualAddress);
  PutLe<uint32_t>(Te.Bytes, 0x24, Pe.Debug.Size);
  Te.Bytes.insert(Te.Bytes.end(), Image.begin() + Te.StrippedSize, Image.end());
  return Te;
}

} // namespace packaging
