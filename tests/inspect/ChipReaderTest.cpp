#include "inspect/ChipReader.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "InspectFixture.h"
#include "sio/SioConfigPort.h"

namespace inspect::test {
namespace {

constexpr uint16_t kCandidates[] = {0x2E, 0x4E, 0x162E, 0x164E};

// What the inspection may do, judged from the accesses it made: at ports
// where no chip identified itself only the probe (enter key, the ID's index,
// the ID read); at the chip's port data writes only to register 0x07 and no
// key but the exit key at the end. One line per broken rule.
std::vector<std::string> BrokenRules(const board::Trace& Events, std::optional<uint16_t> Chip) {
  std::vector<std::string> Broken;
  std::set<uint16_t> IndexPorts(std::begin(kCandidates), std::end(kCandidates));
  if (Chip)
    IndexPorts.insert(*Chip);
  std::map<uint16_t, uint8_t> Index;
  for (const auto& E : Events) {
    if (Chip && &E != &Events.back() && E.Kind == board::EventKind::IoWrite && E.Port == *Chip &&
        (E.Value == SioExitKey || E.Value == SioEnterKey) && Index.count(E.Port) != 0 &&
        Index[E.Port] != SioEnterKey)
      Broken.push_back(board::FormatEvent(E) + ": a key written while reading the chip");
    std::string Where = board::FormatEvent(E) + ": ";
    bool AtIndex = IndexPorts.count(E.Port) != 0;
    bool AtData = IndexPorts.count(static_cast<uint16_t>(E.Port - 1)) != 0;
    uint16_t Owner = AtIndex ? E.Port : static_cast<uint16_t>(E.Port - 1);
    if (!AtIndex && !AtData) {
      Broken.push_back(Where + "a port no chip uses");
      continue;
    }
    bool IsChip = Chip && Owner == *Chip;
    if (E.Kind == board::EventKind::IoWrite && AtIndex) {
      Index[E.Port] = static_cast<uint8_t>(E.Value);
      if (!IsChip && E.Value != SioEnterKey && E.Value != SioRegChipIdHigh &&
          E.Value != SioRegChipIdLow)
        Broken.push_back(Where + "more than the probe at a port without the chip");
    } else if (E.Kind == board::EventKind::IoWrite) {
      if (!IsChip)
        Broken.push_back(Where + "data written at a port without the chip");
      else if (Index[Owner] != SioRegLogicalDevice)
        Broken.push_back(Where + "data register other than 0x07 written");
    }
  }
  return Broken;
}

// Accesses of the discovery: up to the first selection of register 0x07.
size_t DiscoveryLength(const board::Trace& Events) {
  for (size_t I = 0; I < Events.size(); ++I) {
    if (Events[I].Kind == board::EventKind::IoWrite && Events[I].Value == SioRegLogicalDevice)
      return I;
  }
  return Events.size();
}

TEST(ChipReader, FindsTheChipAtEachPortWithTheModulesOwnProbes) {
  for (uint16_t Port : kCandidates) {
    SCOPED_TRACE(Port);
    PassedBoard Board(ChipAt(Port));
    auto Reading = InspectChip(Board.Ports, {});
    ASSERT_TRUE(Reading) << Reading.Message();
    EXPECT_EQ(Reading->IndexPort, Port);
    EXPECT_EQ(Reading->PortsProbed.back(), Port);
    EXPECT_EQ(Reading->Value({std::nullopt, SioRegChipIdHigh}), 0x02);
    // The discovery is the module's: the pass made the same accesses right
    // after its POST code and PCI write.
    size_t N = DiscoveryLength(Reading->Accesses);
    const board::Trace& Pass = Board.Engine.Events();
    ASSERT_GE(Board.PassEvents, 3 + N);
    EXPECT_EQ(
        board::Trace(Pass.begin() + 3, Pass.begin() + 3 + static_cast<long>(N)),
        board::Trace(Reading->Accesses.begin(), Reading->Accesses.begin() + static_cast<long>(N)));
    EXPECT_EQ(Reading->Accesses, Board.AfterPass());
    EXPECT_EQ(BrokenRules(Board.AfterPass(), Port), std::vector<std::string>{});
    EXPECT_FALSE(Board.Target().Chip()->InConfigMode());
  }
}

TEST(ChipReader, NoChipOrAnotherIdIsAnErrorAfterTheProbesAlone) {
  struct Case {
    const char* Name;
    std::optional<uint16_t> Port;
    uint8_t IdLow;
  };
  for (const Case& C : {Case{"absent", std::nullopt, 0x16}, Case{"wrong ID at 0x4E", 0x4E, 0x17},
                        Case{"wrong ID at 0x164E", 0x164E, 0x17}}) {
    SCOPED_TRACE(C.Name);
    board::Scenario Config = ChipAt(C.Port);
    Config.ChipIdLow = C.IdLow;
    PassedBoard Board(Config);
    auto Reading = InspectChip(Board.Ports, {});
    ASSERT_FALSE(Reading);
    EXPECT_EQ(Reading.Message(), "no chip found: no chip answered with ID 0x02 0x16 at 0x004E, "
                                 "0x002E, 0x004E, 0x162E, 0x164E");
    EXPECT_EQ(BrokenRules(Board.AfterPass(), std::nullopt), std::vector<std::string>{});
  }
}

TEST(ChipReader, GivenPortIsTheOnlyOneProbed) {
  PassedBoard Elsewhere(ChipAt(0x164E));
  auto Missing = InspectChip(Elsewhere.Ports, {0x2E, false});
  ASSERT_FALSE(Missing);
  EXPECT_NE(Missing.Message().find("at 0x002E"), std::string::npos) << Missing.Message();
  EXPECT_EQ(Elsewhere.AfterPass().size(), 4u); // enter key twice, index 0x20, one read

  PassedBoard There(ChipAt(0x164E));
  auto Found = InspectChip(There.Ports, {0x164E, false});
  ASSERT_TRUE(Found) << Found.Message();
  EXPECT_EQ(Found->PortsProbed, std::vector<uint16_t>{0x164E});
}

TEST(ChipReader, PutsBackTheLogicalDeviceSomethingElseLeftSelected) {
  for (bool All : {false, true}) {
    PassedBoard Board(board::DefaultScenario());
    Board.Target().Chip()->SetRegister(0, SioRegLogicalDevice, 0x05);
    auto Reading = InspectChip(Board.Ports, {std::nullopt, All});
    ASSERT_TRUE(Reading) << Reading.Message();
    EXPECT_EQ(Reading->SelectedBefore, 0x05);
    EXPECT_TRUE(Reading->Restored());
    EXPECT_EQ(Board.Target().Chip()->SelectedDevice(), 0x05);
    EXPECT_EQ(BrokenRules(Board.AfterPass(), 0x4E), std::vector<std::string>{});
    // The values are those of each device, not of the one left selected.
    EXPECT_EQ(Reading->Value({0, 0x61}), 0xE8);
    EXPECT_EQ(Reading->Value({8, 0xF1}), 0x5A);
    EXPECT_EQ(Reading->Values.size(), All ? 0x30u + 16u * (0xD0u - 2u) : 5u + 3u * 6u);
  }
}

// Ports that fail from the Nth access on, counting what reaches them.
class FailingPorts final : public PortAccess {
public:
  FailingPorts(PortAccess& Inner, size_t FailAt) : Inner_(Inner), FailAt_(FailAt) {}
  sio::Result<uint8_t> Read(uint16_t Port) override {
    if (++Made == FailAt_)
      return sio::Fail("read refused");
    return Inner_.Read(Port);
  }
  sio::Result<void> Write(uint16_t Port, uint8_t Value) override {
    if (++Made == FailAt_)
      return sio::Fail("write refused");
    return Inner_.Write(Port, Value);
  }
  size_t Made = 0;

private:
  PortAccess& Inner_;
  size_t FailAt_;
};

TEST(ChipReader, StopsAtTheFirstFailedAccess) {
  for (size_t FailAt : {1u, 4u, 12u, 30u}) {
    SCOPED_TRACE(FailAt);
    PassedBoard Board(board::DefaultScenario());
    FailingPorts Ports(Board.Ports, FailAt);
    auto Reading = InspectChip(Ports, {});
    ASSERT_FALSE(Reading);
    EXPECT_TRUE(Reading.Message() == "read refused" || Reading.Message() == "write refused");
    EXPECT_EQ(Ports.Made, FailAt);
  }
}

// "out8 0x004E <- 0x07" of each planned write, V standing for the value found.
std::vector<std::string> PlannedWrites(const std::vector<std::string>& Lines, size_t From) {
  std::vector<std::string> Writes;
  std::regex Write("^  (out8 0x[0-9A-F]{4} <- (0x[0-9A-F]{2}|V))");
  for (size_t I = From; I < Lines.size(); ++I) {
    std::smatch M;
    if (std::regex_search(Lines[I], M, Write))
      Writes.push_back(M[1]);
  }
  return Writes;
}

TEST(ChipReader, PlanShowsTheAccessesMadeAndMakesNone) {
  auto Plan = PlanInspection({});
  size_t Reading = 0;
  while (Reading < Plan.size() && Plan[Reading].rfind("Reading", 0) != 0)
    ++Reading;
  ASSERT_LT(Reading, Plan.size());

  // Discovery: the ports the module probes, in its order.
  PassedBoard NoChip(ChipAt(std::nullopt));
  auto Failed = InspectChip(NoChip.Ports, {});
  ASSERT_FALSE(Failed);
  std::string Ports = Failed.Message().substr(Failed.Message().find("0x004E"));
  EXPECT_NE(Plan[0].find("(" + Ports + ")"), std::string::npos) << Plan[0];

  // Reading: the same writes as a real reading of the chip at 0x4E.
  PassedBoard Board(board::DefaultScenario());
  auto Real = InspectChip(Board.Ports, {});
  ASSERT_TRUE(Real);
  std::vector<std::string> Made;
  for (size_t I = DiscoveryLength(Real->Accesses); I < Real->Accesses.size(); ++I) {
    if (Real->Accesses[I].Kind == board::EventKind::IoWrite)
      Made.push_back(board::FormatEvent(Real->Accesses[I]));
  }
  std::vector<std::string> Planned = PlannedWrites(Plan, Reading);
  for (auto& Write : Planned) {
    if (Write.ends_with("V"))
      Write.replace(Write.size() - 1, 1, "0x08");
  }
  EXPECT_EQ(Planned, Made);
}

} // namespace
} // namespace inspect::test
