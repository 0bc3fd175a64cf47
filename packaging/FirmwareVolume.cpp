#include "packaging/FirmwareVolume.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>

#include "packaging/Checksums.h"
#include "packaging/FfsFile.h"
#include "packaging/LittleEndian.h"

namespace packaging {

const pi::Guid kFfs2FileSystemGuid = *pi::ParseGuid("8C8CE578-8A3D-4F1C-9935-896185C32DD3");

namespace {

// Read, write and lock capabilities and status, sticky write, memory mapped.
constexpr uint32_t kVolumeAccessAttributes = 0x0000F6FF;
constexpr uint8_t kFvhRevision = 2;

constexpr size_t AlignUp(size_t Value, size_t Alignment) {
  return (Value + Alignment - 1) / Alignment * Alignment;
}

// A pad file of Size bytes, header included, its data at the erase value.
std::vector<uint8_t> PadFile(size_t Size, uint8_t Erase) {
  std::vector<uint8_t> Bytes = MakeFile({}, file_type::kPad, 0, {}, false);
  SetFileSize(Bytes, Size);
  Bytes.resize(Size, Erase);
  return Bytes;
}

} // namespace

BuiltVolume BuildFirmwareVolume(const std::vector<std::vector<uint8_t>>& Files,
                                const VolumeOptions& Options) {
  if (!std::has_single_bit(Options.BlockSize) || Options.BlockSize < 8) {
    throw std::invalid_argument("block size " + std::to_string(Options.BlockSize) +
                                " is not a power of two >= 8");
  }
  const uint8_t Erase = Options.ErasePolarity ? 0xFF : 0x00;
  BuiltVolume Out;
  std::vector<uint8_t>& V = Out.Bytes;
  V.assign(kVolumeHeaderSize, 0);
  uint32_t VolumeAlignment = 8;

  auto Place = [&](std::vector<uint8_t> File) {
    V.resize(AlignUp(V.size(), 8), Erase);
    const size_t Offset = V.size();
    if (Options.ErasePolarity)
      File[0x17] = static_cast<uint8_t>(~File[0x17]);
    V.insert(V.end(), File.begin(), File.end());
    return Offset;
  };
  std::vector<pi::Guid> Names;
  for (const std::vector<uint8_t>& File : Files) {
    const FileHeaderInfo Info = ReadFfsFile(File);
    // A reader finds a file by its name; a second file of that name would never be found.
    if (Info.Type != file_type::kPad) {
      if (std::find(Names.begin(), Names.end(), Info.Name) != Names.end()) {
        throw std::runtime_error("two files named " + pi::FormatGuid(Info.Name));
      }
      Names.push_back(Info.Name);
    }
    const size_t Start = AlignUp(V.size(), 8);
    if ((Start + kFileHeaderSize) % Info.DataAlignment != 0) {
      // The pad file must hold at least its own header.
      const size_t Data = AlignUp(Start + 2 * kFileHeaderSize, Info.DataAlignment);
      Place(PadFile(Data - kFileHeaderSize - Start, Erase));
    }
    Out.FileOffsets.push_back(Place(std::vector<uint8_t>(File.begin(), File.begin() + Info.Size)));
    VolumeAlignment = std::max(VolumeAlignment, Info.DataAlignment);
  }
  V.resize(AlignUp(V.size(), Options.BlockSize), Erase);

  std::copy(kFfs2FileSystemGuid.begin(), kFfs2FileSystemGuid.end(), V.begin() + 0x10);
  PutLe<uint64_t>(V, 0x20, V.size());
  PutLe<uint32_t>(V, 0x28, kVolumeSignature);
  const uint32_t AlignmentField = static_cast<uint32_t>(std::countr_zero(VolumeAlignment)) << 16;
  PutLe<uint32_t>(V, 0x2C,
                  kVolumeAccessAttributes | AlignmentField |
                      (Options.ErasePolarity ? kFvbErasePolarity : 0));
  PutLe<uint16_t>(V, 0x30, kVolumeHeaderSize);
  V[0x37] = kFvhRevision;
  PutLe<uint32_t>(V, 0x38, static_cast<uint32_t>(V.size() / Options.BlockSize));
  PutLe<uint32_t>(V, 0x3C, Options.BlockSize);
  PutLe<uint16_t>(V, 0x32, Checksum16(std::span(V.data(), kVolumeHeaderSize)));
  return Out;
}

} // namespace packaging
