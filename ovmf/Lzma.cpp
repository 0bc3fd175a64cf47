#include "ovmf/Lzma.h"

#include <lzma.h>

#include <string>

#include "ovmf/FirmwareError.h"
#include "ovmf/PiLayout.h"

namespace ovmf {
namespace {

constexpr size_t kSizeFieldOffset = 5;
constexpr uint64_t kUnknownSize = ~uint64_t{0};

// Runs Stream through a coder set up by the caller; returns everything it
// produced.
std::vector<uint8_t> RunCoder(lzma_stream& Coder, std::span<const uint8_t> Input, size_t SizeHint,
                              const char* What) {
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
      throw FirmwareError(std::string(What) + " failed (liblzma error " + std::to_string(Ret) +
                          ")");
    }
    if (Coder.avail_out == 0) {
      const size_t Done = Out.size();
      Out.resize(Done * 2);
      Coder.next_out = Out.data() + Done;
      Coder.avail_out = Out.size() - Done;
    } else if (Ret == LZMA_BUF_ERROR) {
      lzma_end(&Coder);
      throw FirmwareError(std::string(What) + ": the stream is cut short");
    }
  }
  Out.resize(Out.size() - Coder.avail_out);
  lzma_end(&Coder);
  return Out;
}

} // namespace

uint64_t LzmaAloneDeclaredSize(std::span<const uint8_t> Stream) {
  if (Stream.size() < kLzmaAloneHeaderSize)
    throw FirmwareError("LZMA stream shorter than its header");
  return Load64(&Stream[kSizeFieldOffset]);
}

std::vector<uint8_t> LzmaAloneDecode(std::span<const uint8_t> Stream) {
  const uint64_t Declared = LzmaAloneDeclaredSize(Stream);
  if (Declared == kUnknownSize)
    throw FirmwareError("LZMA stream without its uncompressed size (the firmware needs it)");
  if (Declared > (uint64_t{1} << 32))
    throw FirmwareError("LZMA stream declares an implausible size");
  lzma_stream Coder = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&Coder, UINT64_MAX) != LZMA_OK)
    throw FirmwareError("liblzma: no decoder");
  auto Out = RunCoder(Coder, Stream, static_cast<size_t>(Declared), "LZMA decoding");
  if (Out.size() != Declared)
    throw FirmwareError("LZMA stream decodes to " + std::to_string(Out.size()) +
                        " bytes, its header says " + std::to_string(Declared));
  return Out;
}

std::vector<uint8_t> LzmaAloneEncode(std::span<const uint8_t> Data) {
  lzma_options_lzma Options;
  if (lzma_lzma_preset(&Options, 6))
    throw FirmwareError("liblzma: no preset 6");
  Options.dict_size = kLzmaDictionarySize;
  Options.lc = 3;
  Options.lp = 0;
  Options.pb = 2;
  lzma_stream Coder = LZMA_STREAM_INIT;
  if (lzma_alone_encoder(&Coder, &Options) != LZMA_OK)
    throw FirmwareError("liblzma: no encoder");
  auto Out = RunCoder(Coder, Data, Data.size() / 4, "LZMA encoding");
  // The "alone" encoder leaves the size unknown; the firmware's decoder needs it.
  const uint64_t Size = Data.size();
  for (size_t I = 0; I < 8; ++I)
    Out[kSizeFieldOffset + I] = static_cast<uint8_t>(Size >> (8 * I));
  return Out;
}

} // namespace ovmf
