// SPDX-License-Identifier: BSD-2-Clause-Patent
// An OVMF code image as Debian builds them, opened up to its PEI volume: the main
// volume at the start of the image holds one FV_IMAGE file whose LZMA
// GUID-defined section decompresses to the PEI volume (and the DXE volume).
// The PEI volume can be changed in place and the image rebuilt around it:
// recompressed, with every size and checksum up the chain set again.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/Result.h"
#include "pi/FirmwareVolume.h"

namespace ovmf {

class OvmfImage {
public:
  // An error, saying what is missing, for an image laid out any other way.
  static sio::Result<OvmfImage> Parse(std::vector<uint8_t> Image);

  // The decompressed PEI volume; changes made here go into Rebuild().
  std::span<uint8_t> PeiVolume();
  std::span<const uint8_t> PeiVolume() const;
  // The DXE volume, the second volume inside; changes made here go into
  // Rebuild() as well.
  std::span<uint8_t> DxeVolume();
  std::span<const uint8_t> DxeVolume() const;
  // Where SEC copies the PEI volume and where its PEIMs are linked to run, as
  // the images already in it show.
  uint32_t PeiVolumeAddress() const { return PeiAddress_; }

  // The whole image with the current PEI and DXE volumes compressed back into it; an
  // error when the result no longer fits the main volume.
  sio::Result<std::vector<uint8_t>> Rebuild() const;

  const std::vector<uint8_t>& Original() const { return Image_; }
  size_t CompressedFileOffset() const { return File_.Offset; }
  size_t CompressedFileRoom() const { return FileRoom_; }

private:
  std::vector<uint8_t> Image_;
  pi::VolumeView Main_;
  pi::FfsFileView File_;        // the FV_IMAGE file in the main volume
  size_t FileRoom_ = 0;         // bytes from the file to the next file or the volume end
  pi::SectionView GuidSection_; // relative to the file's data
  uint16_t GuidDataOffset_ = 0;
  std::vector<uint8_t> Decompressed_;
  pi::SectionView PeiSection_; // relative to Decompressed_
  pi::SectionView DxeSection_; // relative to Decompressed_
  uint32_t PeiAddress_ = 0;
};

} // namespace ovmf
