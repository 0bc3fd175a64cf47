// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/EfiVariable.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "pi/Guid.h"
#include "pi/LittleEndian.h"
#include "setup/SioSetupData.h"

namespace inspect {
namespace {

// What efivarfs puts before the content.
struct __attribute__((packed)) EfiVariableFileHeader {
  pi::Le32 Attributes;
};
static_assert(sizeof(EfiVariableFileHeader) == 4);

} // namespace

std::string DefaultEfiVariablePath() {
  std::string Path = "/sys/firmware/efi/efivars/";
  for (const CHAR16* C = SioSetupVariableName; *C != 0; ++C)
    Path += static_cast<char>(*C);
  pi::Guid Guid{};
  static_assert(sizeof SioSetupVendorGuid == sizeof Guid);
  std::memcpy(Guid.data(), &SioSetupVendorGuid, Guid.size());
  std::string Text = pi::FormatGuid(Guid);
  for (char& C : Text)
    C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Path + "-" + Text;
}

sio::Result<LiveVariable> ReadEfiVariable(const std::string& Path) {
  LiveVariable Out;
  Out.Path = Path;
  std::unique_ptr<FILE, int (*)(FILE*)> File(std::fopen(Path.c_str(), "rb"), &std::fclose);
  if (!File) {
    if (errno == ENOENT)
      return Out;
    return sio::Fail(sio::ErrorKind::Io, Path + ": " + std::strerror(errno));
  }
  std::vector<uint8_t> Bytes(kMaxEfiVariableFileSize + 1);
  size_t Got = std::fread(Bytes.data(), 1, Bytes.size(), File.get());
  if (std::ferror(File.get()))
    return sio::Fail(sio::ErrorKind::Io, Path + ": " + std::strerror(errno));
  if (Got > kMaxEfiVariableFileSize)
    return sio::Fail(Path + ": longer than " + std::to_string(kMaxEfiVariableFileSize) + " bytes");
  EfiVariableFileHeader Header;
  if (!pi::ReadRecord(std::span<const uint8_t>(Bytes.data(), Got), 0, Header))
    return sio::Fail(Path + ": " + std::to_string(Got) +
                     " bytes, shorter than the 4-byte attributes");
  Out.Present = true;
  Out.Attributes = Header.Attributes;
  Out.Content.assign(Bytes.begin() + sizeof Header, Bytes.begin() + static_cast<long>(Got));
  return Out;
}

} // namespace inspect
