// SPDX-License-Identifier: BSD-2-Clause-Patent
// Reading QEMU's trace lines and picking the module's accesses out of the
// firmware's own port traffic.
#include <gtest/gtest.h>

#include "ovmf/QemuPortTrace.h"
#include "tests/support/TraceBuilder.h"

namespace {

using pi::EventKind;
using pi::TraceEvent;

using test::In;
using test::Out;

TEST(QemuPortTrace, ParsesPortLinesOnly) {
  struct Case {
    const char* Line;
    std::optional<TraceEvent> Expected;
  };
  const Case Cases[] = {
      {"memory_region_ops_write cpu 0 mr 0x55 addr 0xcf8 value 0x8000f880 size 4 name "
       "'pci-conf-idx'",
       Out(0xCF8, 0x8000F880, 4)},
      {"memory_region_ops_read cpu 0 mr 0x55 addr 0x4f value 0xffffffffffffffff size 1 name 'io'",
       In(0x4F, 0xFF)},
      {"memory_region_ops_read cpu 0 mr 0x55 addr 0xcfe value 0x29c0 size 2 name 'pci-conf-data'",
       In(0xCFE, 0x29C0, 2)},
      {"1234@1700000000.000001:memory_region_ops_write cpu 0 mr 0x55 addr 0x80 value 0x70 size 1 "
       "name 'ioport80'",
       Out(0x80, 0x70)},
      {"memory_region_ops_read cpu 0 mr 0x55 addr 0xfee000f0 value 0xff size 4 name 'apic-msi'",
       std::nullopt},
      {"memory_region_ops_write cpu 0 mr 0x55 addr 0x80 value 0x70 size 3 name 'x'", std::nullopt},
      {"memory_region_ops_write cpu 0 mr 0x55 addr 0x80 value zz size 1", std::nullopt},
      {"qemu-system-i386: warning: something", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& C : Cases)
    EXPECT_EQ(ovmf::ParsePortAccess(C.Line), C.Expected) << C.Line;
}

TEST(QemuPortTrace, SplitsWidePostCodeWritesAsQemuDoes) {
  const pi::Trace Host = {Out(0x80, 0x0070, 2),
                          Out(0xCF8, 0x8000F880, 4),
                          In(0x4F, 0xFF),
                          {EventKind::LocatePpi, 0, 0, 0, 0x8000000E, {}}};
  const pi::Trace Expected = {Out(0x80, 0x70), Out(0x81, 0x00), Out(0xCF8, 0x8000F880, 4),
                              In(0x4F, 0xFF)};
  EXPECT_EQ(ovmf::AsQemuSeesIt(Host), Expected);
  const pi::Trace Ports(Host.begin(), Host.begin() + 3);
  EXPECT_EQ(ovmf::AsTheModuleWroteIt(Expected), Ports);
  // A lone byte write to 0x80 stays what it was.
  const pi::Trace Lone = {Out(0x80, 0x55), Out(0x4E, 0x77), Out(0x81, 0x01)};
  EXPECT_EQ(ovmf::AsTheModuleWroteIt(Lone), Lone);
}

TEST(QemuPortTrace, FindsTheModuleAmongFirmwareTraffic) {
  const pi::Trace Module = {Out(0x80, 0x70),
                            Out(0x81, 0x00),
                            Out(0xCF8, 0x8000F880, 4),
                            Out(0xCFC, 0x3F0F0017, 4),
                            Out(0x4E, 0x77),
                            Out(0x4E, 0x20),
                            In(0x4F, 0xFF),
                            Out(0x164E, 0x20),
                            In(0x164F, 0xFF)};
  std::vector<TraceEvent> Boot = {Out(0x70, 0x0F), In(0x71, 0), Out(0xCF8, 0x80000000, 4),
                                  Out(0x80, 0x70)};
  Boot.insert(Boot.end(), Module.begin(), Module.end());
  // The firmware's own configuration cycle right after the module returns.
  Boot.insert(Boot.end(), {In(0xCF8, 0x8000F880, 4), Out(0xCF8, 0x80000000, 4), Out(0x510, 1, 2)});
  const auto Runs = ovmf::ModuleRuns(Boot);
  ASSERT_EQ(Runs.size(), 1u);
  EXPECT_EQ(Runs[0], Module);

  EXPECT_TRUE(ovmf::ModuleRuns({Out(0x80, 0x70), Out(0x81, 0x01), Out(0x4E, 0x77)}).empty());
  auto Twice = Module;
  Twice.push_back(Out(0x70, 0));
  Twice.insert(Twice.end(), Module.begin(), Module.end());
  EXPECT_EQ(ovmf::ModuleRuns(Twice).size(), 2u);
}

} // namespace
