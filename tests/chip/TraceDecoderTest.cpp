// SPDX-License-Identifier: BSD-2-Clause-Patent
// The decoded trace says what each access means to the device it reaches,
// following the configuration protocol's state port by port.
#include <gtest/gtest.h>

#include "chip/TraceDecoder.h"
#include "pi/KnownGuids.h"
#include "tests/support/TraceBuilder.h"

namespace {

using pi::EventKind;
using test::TraceBuilder;

pi::TraceEvent Io(EventKind Kind, uint8_t Width, uint16_t Port, uint32_t Value) {
  return {Kind, Width, Port, Value, 0, {}};
}

struct Expectation {
  size_t Index;
  const char* Meaning;
};

void ExpectMeanings(const pi::Trace& Events, std::initializer_list<Expectation> Expected) {
  auto Decoded = chip::DecodeTrace(Events);
  ASSERT_EQ(Decoded.size(), Events.size());
  for (const auto& [Index, Meaning] : Expected) {
    ASSERT_LT(Index, Decoded.size());
    EXPECT_EQ(Decoded[Index].Meaning, Meaning)
        << "event " << Index << ": " << Decoded[Index].Access;
  }
}

TEST(TraceDecoder, ChipProtocolInTheChipsTerms) {
  TraceBuilder T;
  T.EnterConfig(0x4E)             // 0, 1
      .ReadReg(0x4E, 0x20, 0x02)  // 2, 3
      .ReadReg(0x4E, 0x21, 0x17)  // 4, 5
      .WriteReg(0x4E, 0x07, 0x00) // 6, 7
      .WriteReg(0x4E, 0x25, 0x01) // 8, 9
      .WriteReg(0x4E, 0x30, 0x01) // 10, 11
      .WriteReg(0x4E, 0x60, 0x03) // 12, 13
      .WriteReg(0x4E, 0x61, 0xE8) // 14, 15
      .WriteReg(0x4E, 0x70, 0x03) // 16, 17
      .WriteReg(0x4E, 0x07, 0x08) // 18, 19
      .WriteReg(0x4E, 0x30, 0x00) // 20, 21
      .ReadReg(0x4E, 0xF0, 0xFF)  // 22, 23
      .Out8(0x4F, 0xF9)           // 24: write-back, no new index
      .Out8(0x4F, 0xF9)           // 25: plain write, same register
      .WriteReg(0x4E, 0x20, 0x55) // 26, 27
      .ExitConfig(0x4E);          // 28
  ExpectMeanings(T.Events(),
                 {{0, "enter key (1 of 2)"},
                  {1, "enter key (2 of 2): configuration mode"},
                  {2, "index: register 0x20 (chip ID, high byte)"},
                  {3, "read register 0x20 -> 0x02 (chip ID, high byte): matches"},
                  {5, "read register 0x21 -> 0x17 (chip ID, low byte): 0x16 expected, no match"},
                  {7, "select logical device 0"},
                  {9, "write register 0x25 = 0x01: chip-global register 0x25"},
                  {11, "LD0 write register 0x30 = 0x01: activate LD0"},
                  {13, "LD0 write register 0x60 = 0x03: I/O base, high byte"},
                  {15, "LD0 write register 0x61 = 0xE8: I/O base, low byte (base 0x03E8)"},
                  {17, "LD0 write register 0x70 = 0x03: interrupt level 3"},
                  {19, "select logical device 8"},
                  {21, "LD8 write register 0x30 = 0x00: deactivate LD8"},
                  {23, "LD8 read register 0xF0 -> 0xFF (mode bits, ANDed by the setup)"},
                  {24, "LD8 write register 0xF0 = 0xF9: mode bits, ANDed by the setup; write-back "
                       "of 0xFF without a new index, clears bits 1, 2"},
                  {25, "LD8 write register 0xF0 = 0xF9: mode bits, ANDed by the setup"},
                  {27, "write register 0x20 = 0x55 (chip ID, high byte): read-only, ignored"},
                  {28, "exit key: configuration mode closed"}});
}

TEST(TraceDecoder, ConfigurationModeNeedsTwoEnterKeysInARowAtTheSamePort) {
  TraceBuilder T;
  T.Out8(0x4E, 0x77)     // 0
      .Out8(0x2E, 0x77)  // 1: another port keeps its own state
      .Out8(0x4E, 0x20)  // 2: breaks the key sequence
      .Out8(0x4F, 0x01)  // 3
      .In8(0x4F, 0xFF)   // 4
      .Out8(0x4E, 0x77)  // 5
      .Out8(0x4E, 0x77)  // 6
      .Out8(0x4F, 0x01)  // 7: no index written yet
      .Out8(0x4E, 0x77)  // 8: a key inside configuration mode is an index
      .Out8(0x2E, 0x77)  // 9
      .Out8(0x4E, 0xAA)  // 10
      .Out8(0x4E, 0xAA); // 11
  ExpectMeanings(T.Events(),
                 {{0, "enter key (1 of 2)"},
                  {1, "enter key (1 of 2)"},
                  {2, "index write outside configuration mode (ignored)"},
                  {3, "data port write outside configuration mode (ignored)"},
                  {4, "data port read outside configuration mode (floats)"},
                  {5, "enter key (1 of 2)"},
                  {6, "enter key (2 of 2): configuration mode"},
                  {7, "data port write before any index write"},
                  {8, "enter key while already in configuration mode (selects register 0x77)"},
                  {9, "enter key (2 of 2): configuration mode"},
                  {10, "exit key: configuration mode closed"},
                  {11, "index write outside configuration mode (ignored)"}});
}

TEST(TraceDecoder, PostCodeAndPciConfigurationByRegister) {
  pi::Trace Events = {
      Io(EventKind::IoWrite, 2, 0x80, 0x70),
      Io(EventKind::IoWrite, 4, 0xCF8, 0x8000F880),
      Io(EventKind::IoWrite, 4, 0xCFC, 0x3F0F0017),
      Io(EventKind::IoWrite, 2, 0xCFE, 0xBEEF), // upper half of the dword at 0x80
      Io(EventKind::IoWrite, 4, 0xCF8, 0x0000F880),
      Io(EventKind::IoWrite, 4, 0xCFC, 0x1),
      Io(EventKind::IoWrite, 4, 0xCF8, 0x80010800), // bus 1, device 1, register 0
      Io(EventKind::IoRead, 1, 0xCFD, 0xFF),
      Io(EventKind::IoWrite, 2, 0xCF8, 0x1234),
      Io(EventKind::IoWrite, 2, 0x4E, 0x7777),
      Io(EventKind::IoWrite, 1, 0x3F8, 0x41),
  };
  ExpectMeanings(
      Events,
      {{0, "POST code 0x70"},
       {1, "PCI CONFIG_ADDRESS: bus 0, device 31, function 0, register 0x80 (the LPC bridge)"},
       {2, "PCI configuration write, bus 0, device 31, function 0: 0x80 = 0x17 (I/O decode ranges, "
           "low byte), 0x81 = 0x00 (I/O decode ranges, high byte), 0x82 = 0x0F (LPC decode "
           "enables, low byte), 0x83 = 0x3F (LPC decode enables, high byte)"},
       {3, "PCI configuration write, bus 0, device 31, function 0: 0x82 = 0xEF (LPC decode "
           "enables, low byte), 0x83 = 0xBE (LPC decode enables, high byte)"},
       {4, "PCI CONFIG_ADDRESS: bus 0, device 31, function 0, register 0x80 (the LPC bridge); "
           "enable bit clear"},
       {5, "PCI CONFIG_DATA with the enable bit clear (reaches no function)"},
       {7, "PCI configuration read, bus 1, device 1, function 0: 0x01 -> 0xFF"},
       {8, "PCI CONFIG_ADDRESS access of 16 bits (ignored)"},
       {9, "16-bit access at the Super I/O index port (the chip answers byte accesses only)"},
       {10, "no device at port 0x03F8 on this board"}});
}

pi::TraceEvent Call(EventKind Kind, uint32_t Status, pi::ServiceCall Record) {
  pi::TraceEvent E;
  E.Kind = Kind;
  E.Status = Status;
  E.Call = std::move(Record);
  return E;
}

pi::ServiceCall Variable(std::optional<std::u16string> Name, std::optional<pi::Guid> Guid,
                         uint64_t Size, uint64_t Returned, bool Attributes = false) {
  pi::ServiceCall C;
  C.NameGiven = Name.has_value();
  C.Name = Name.value_or(u"");
  C.Guid = Guid;
  C.BufferSize = Size;
  C.DataSize = Returned;
  C.AttributesWanted = Attributes;
  return C;
}

// Each call is worded from its recorded fields, and printed by the one printer.
TEST(TraceDecoder, ServiceCallsByWhatTheyAskFor) {
  const pi::Guid Other = pi::GuidFromText("11111111-2222-3333-4444-555555555555");
  pi::ServiceCall Locate;
  Locate.Guid = pi::kReadOnlyVariable2PpiGuid;
  pi::ServiceCall LocateOdd = Locate;
  LocateOdd.Instance = 2;
  LocateOdd.DescriptorWanted = true;
  LocateOdd.NullInterface = true;
  pi::ServiceCall Install;
  Install.Ppis = {{pi::kSioReadyPpiGuid, 0x80000010, false}, {Other, 0x10, true}};
  pi::ServiceCall Malformed;
  Malformed.ListWellFormed = false;
  pi::Trace Events = {
      Call(EventKind::LocatePpi, 0, Locate),
      Call(EventKind::GetVariable, 0x8000000E,
           Variable(u"SioF81216aSetup00", pi::kSioSetupVendorGuid, 67, 67)),
      Call(EventKind::GetVariable, 0, Variable(u"Other", Other, 1, 1)),
      Call(EventKind::InstallPpi, 0, Install),
      // The setup variable's name inside a longer one is another variable.
      Call(EventKind::GetVariable, 0,
           Variable(u"XSioF81216aSetup00", pi::kSioSetupVendorGuid, 67, 67, true)),
      Call(EventKind::GetVariable, 0x80000002, Variable(std::nullopt, std::nullopt, 0, 0)),
      Call(EventKind::GetVariable, 0, Variable(u"SioF81216aSetup00\u00e9", Other, 2, 3)),
      Call(EventKind::LocatePpi, 0x8000000E, LocateOdd),
      Call(EventKind::InstallPpi, 0x80000002, Malformed),
  };
  ExpectMeanings(Events, {{0, "locate EFI_PEI_READ_ONLY_VARIABLE2_PPI"},
                          {1, "read the setup variable"},
                          {2, "read a variable (11111111-2222-3333-4444-555555555555)"},
                          {3, "install SioReadyPpi, 11111111-2222-3333-4444-555555555555"},
                          {4, "read a variable (SioSetupVendorGuid)"},
                          {5, "read a variable (no GUID)"},
                          {7, "locate EFI_PEI_READ_ONLY_VARIABLE2_PPI"},
                          {8, "install a PPI"}});
  const char* Printed[] = {
      "LocatePpi(2AB86EF5-ECB5-4134-B556-3854CA1FE1B4 instance=0) -> EFI_SUCCESS",
      "GetVariable(\"SioF81216aSetup00\" CD2E75EC-4162-411D-B7F1-E1D882E697AB size=67 -> 67) "
      "-> EFI_NOT_FOUND",
      "GetVariable(\"Other\" 11111111-2222-3333-4444-555555555555 size=1 -> 1) -> EFI_SUCCESS",
      "InstallPpi(6F3BDEE2-6FCF-492E-80AC-7C786D9FC397 flags=0x80000010 no-interface "
      "11111111-2222-3333-4444-555555555555 flags=0x00000010 interface) -> EFI_SUCCESS",
      "GetVariable(\"XSioF81216aSetup00\" CD2E75EC-4162-411D-B7F1-E1D882E697AB attributes "
      "size=67 -> 67) -> EFI_SUCCESS",
      "GetVariable(NULL-name NULL-guid size=0 -> 0) -> EFI_INVALID_PARAMETER",
      "GetVariable(\"SioF81216aSetup00?\" 11111111-2222-3333-4444-555555555555 size=2 -> 3) "
      "-> EFI_SUCCESS",
      "LocatePpi(2AB86EF5-ECB5-4134-B556-3854CA1FE1B4 instance=2 descriptor null-interface) -> "
      "EFI_NOT_FOUND",
      "InstallPpi(malformed list) -> EFI_INVALID_PARAMETER",
  };
  auto Decoded = chip::DecodeTrace(Events);
  for (size_t I = 0; I < std::size(Printed); ++I)
    EXPECT_EQ(Decoded[I].Access, Printed[I]) << I;
}

} // namespace
