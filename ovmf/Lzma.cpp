// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "ovmf/Lzma.h"

#include <lzma.h>

#include <algorithm>
#include <string>

#include "pi/LittleEndian.h"

namespace ovmf {
namespace {

constexpr size_t kDictionaryFieldOffset = 1;
constexpr size_t kSizeFieldOffset = 5;
constexpr uint32_t kSmallestWindow = 4096;
constexpr uint64_t kUnknownSize = ~uint64_t{0};

// Runs Stream through a coder set up by the caller; returns everything it
// produced.
sio::Result<std::vector<uint8_t>> RunCoder(lzma_stream& Coder, std::span<const uint8_t> Input,
                                           size_t SizeHint, const char* What) {
  std::vector<uint8_t> Out(SizeHint + 64);
  Coder.next_in = Input.data();
  Coder.avail_in = Input.size();
  Coder.next_out = Out.data();
  Coder.avail_out = Out.size();
  for (;;) {
    const lzma_ret Ret = lzma_code(&Coder, LZMA_FINISH);
    if (Ret == LZMA_STREAM_END)
      break;
    if (Ret != LZMA_OK && Ret != LZMA_BUF_ERROR) {
      lzma_end(&Coder);
      return sio::Fail(std::string(What) + " failed (liblzma error " + std::to_string(Ret) + ")");
    }
    if (Coder.avail_out == 0) {
      const size_t Done = Out.size();
      Out.resize(Done * 2);
      Coder.next_out = Out.data() + Done;
      Coder.avail_out = Out.size() - Done;
    } else if (Ret == LZMA_BUF_ERROR) {
      lzma_end(&Coder);
      return sio::Fail(std::string(What) + ": the stream is cut short");
    }
  }
  Out.resize(Out.size() - Coder.avail_out);
  lzma_end(&Coder);
  return Out;
}

} // namespace

sio::Result<uint64_t> LzmaAloneDeclaredSize(std::span<const uint8_t> Stream) {
  pi::Le64 Size;
  if (!pi::ReadRecord(Stream, kSizeFieldOffset, Size))
    return sio::Fail("LZMA stream shorter than its header");
  return Size.Get();
}

sio::Result<std::vector<uint8_t>> LzmaAloneDecode(std::span<const uint8_t> Stream) {
  const auto Declared = LzmaAloneDeclaredSize(Stream);
  if (!Declared)
    return Declared.Failure();
  if (*Declared == kUnknownSize)
    return sio::Fail("LZMA stream without its uncompressed size (the firmware needs it)");
  if (*Declared > kLzmaMaxDecodedSize)
    return sio::Fail("LZMA stream declares an implausible size (" + std::to_string(*Declared) +
                     " bytes)");
  // The firmware's decoder writes into the whole output, which is its
  // window: any dictionary size decodes the same, and a window larger than
  // the output is never used. liblzma sets aside the whole window the header
  // names, so the window is clamped to the output (4 KiB at least, the
  // smallest window) and a header naming up to 4 GiB costs no more memory.
  std::vector<uint8_t> Clamped(Stream.begin(), Stream.end());
  pi::Le32 Window;
  pi::ReadRecord(Clamped, kDictionaryFieldOffset, Window);
  const uint64_t Needed = std::max<uint64_t>(*Declared, kSmallestWindow);
  if (Window.Get() > Needed) {
    Window = static_cast<uint32_t>(Needed);
    pi::WriteRecord(std::span<uint8_t>(Clamped), kDictionaryFieldOffset, Window);
  }
  // The window and liblzma's own tables fit well below this; a header
  // that asks for more is refused rather than given the memory.
  constexpr uint64_t kDecoderMemory = 2 * kLzmaMaxDecodedSize;
  lzma_stream Coder = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&Coder, kDecoderMemory) != LZMA_OK)
    return sio::Fail("liblzma: no decoder");
  auto Out = RunCoder(Coder, Clamped, static_cast<size_t>(*Declared), "LZMA decoding");
  if (Out && Out->size() != *Declared)
    return sio::Fail("LZMA stream decodes to " + std::to_string(Out->size()) +
                     " bytes, its header says " + std::to_string(*Declared));
  return Out;
}

sio::Result<std::vector<uint8_t>> LzmaAloneEncode(std::span<const uint8_t> Data) {
  lzma_options_lzma Options;
  if (lzma_lzma_preset(&Options, 6))
    return sio::Fail("liblzma: no preset 6");
  Options.dict_size = kLzmaDictionarySize;
  Options.lc = 3;
  Options.lp = 0;
  Options.pb = 2;
  lzma_stream Coder = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&Coder, &Options) != LZMA_OK)
    return sio::Fail("liblzma: no encoder");
  auto Out = RunCoder(Coder, Data, Data.size() / 4, "LZMA encoding");
  if (!Out)
    return Out;
  // The "alone" encoder leaves the size unknown; the firmware's decoder needs it.
  pi::Le64 Size;
  Size = Data.size();
  pi::WriteRecord(std::span<uint8_t>(*Out), kSizeFieldOffset, Size);
  return Out;
}

} // namespace ovmf
