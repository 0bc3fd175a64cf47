// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "inspect/ChipReader.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <set>
#include <span>
#include <stdexcept>

#include "InspectFixture.h"
#include "chip/Registers.h"
#include "common/Hex.h"
#include "common/JsonFields.h"
#include "sio/SioConfigPort.h"

namespace inspect::test {
namespace {

constexpr uint16_t kCandidates[] = {0x2E, 0x4E, 0x162E, 0x164E};

// What the inspection may do, judged from the accesses it made: at ports
// where no chip identified itself only the probe (enter key, the ID's index,
// the ID read) and the exit key closing it; at the chip's port data writes
// only to register 0x07 and no key but the exit key at the end. One line per
// broken rule.
std::vector<std::string> BrokenRules(const pi::Trace& Events, std::optional<uint16_t> Chip) {
  std::vector<std::string> Broken;
  std::set<uint16_t> IndexPorts(std::begin(kCandidates), std::end(kCandidates));
  if (Chip)
    IndexPorts.insert(*Chip);
  std::map<uint16_t, uint8_t> Index;
  for (const auto& E : Events) {
    if (Chip && &E != &Events.back() && E.Kind == pi::EventKind::IoWrite && E.Port == *Chip &&
        (E.Value == SioExitKey || E.Value == SioEnterKey) && Index.count(E.Port) != 0 &&
        Index[E.Port] != SioEnterKey)
      Broken.push_back(pi::FormatEvent(E) + ": a key written while reading the chip");
    std::string Where = pi::FormatEvent(E) + ": ";
    bool AtIndex = IndexPorts.count(E.Port) != 0;
    bool AtData = IndexPorts.count(chip::IndexPortOf(E.Port)) != 0;
    uint16_t Owner = AtIndex ? E.Port : chip::IndexPortOf(E.Port);
    if (!AtIndex && !AtData) {
      Broken.push_back(Where + "a port no chip uses");
      continue;
    }
    bool IsChip = Chip && Owner == *Chip;
    if (E.Kind == pi::EventKind::IoWrite && AtIndex) {
      Index[E.Port] = static_cast<uint8_t>(E.Value);
      if (!IsChip && E.Value != SioEnterKey && E.Value != SioRegChipIdHigh &&
          E.Value != SioRegChipIdLow && E.Value != SioExitKey)
        Broken.push_back(Where + "more than the probe at a port without the chip");
    } else if (E.Kind == pi::EventKind::IoWrite) {
      if (!IsChip)
        Broken.push_back(Where + "data written at a port without the chip");
      else if (Index[Owner] != SioRegLogicalDevice)
        Broken.push_back(Where + "data register other than 0x07 written");
    }
  }
  return Broken;
}

// Accesses of the discovery: up to the first selection of register 0x07.
size_t DiscoveryLength(const pi::Trace& Events) {
  for (size_t I = 0; I < Events.size(); ++I) {
    if (Events[I].Kind == pi::EventKind::IoWrite && Events[I].Value == SioRegLogicalDevice)
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
    // after its POST code and PCI write, but the exit key the tool writes at
    // each port probed without a match.
    pi::Trace Probes;
    size_t ExitKeys = 0;
    for (size_t I = 0; I < DiscoveryLength(Reading->Accesses); ++I) {
      const auto& E = Reading->Accesses[I];
      if (E.Kind == pi::EventKind::IoWrite && E.Value == SioExitKey)
        ++ExitKeys;
      else
        Probes.push_back(E);
    }
    EXPECT_EQ(ExitKeys, Reading->PortsProbed.size() - 1);
    size_t N = Probes.size();
    const pi::Trace& Pass = Board.Engine.Events();
    ASSERT_GE(Board.PassEvents, 3 + N);
    EXPECT_EQ(pi::Trace(Pass.begin() + 3, Pass.begin() + 3 + static_cast<long>(N)), Probes);
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
    board::Scenario Scenario = ChipAt(C.Port);
    Scenario.ChipIdLow = C.IdLow;
    PassedBoard Board(Scenario);
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
  EXPECT_EQ(Elsewhere.AfterPass().size(), 5u); // enter key twice, index 0x20, one read, exit key

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

// Ports that fail at the Nth access reaching them (counted from 1), or throw
// there (an error of the tool's own), or raise a signal there and then make
// the access; every other access goes through.
class FailingPorts final : public PortAccess {
public:
  enum class Fault { Fail, Throw, Raise };
  FailingPorts(PortAccess& Inner, size_t FailAt, Fault How = Fault::Fail, int Signal = 0)
      : Inner_(Inner), FailAt_(FailAt), How_(How), Signal_(Signal) {}
  sio::Result<uint8_t> Read(uint16_t Port) override {
    if ((++Made == FailAt_ && How_ == Fault::Fail) || AlsoFail.count(Made) != 0)
      return sio::Fail("read refused");
    if (Made == FailAt_)
      Act();
    return Inner_.Read(Port);
  }
  sio::Result<void> Write(uint16_t Port, uint8_t Value) override {
    if ((++Made == FailAt_ && How_ == Fault::Fail) || AlsoFail.count(Made) != 0)
      return sio::Fail("write refused");
    if (Made == FailAt_)
      Act();
    return Inner_.Write(Port, Value);
  }
  size_t Made = 0;
  std::set<size_t> AlsoFail; // further accesses that fail (counted as Made)

private:
  void Act() {
    if (How_ == Fault::Throw)
      throw std::runtime_error("tool fault");
    std::raise(Signal_);
  }
  PortAccess& Inner_;
  size_t FailAt_;
  Fault How_;
  int Signal_;
};

TEST(ChipReader, StopsAtTheFirstFailedAccess) {
  for (size_t FailAt : {1u, 4u, 12u, 30u}) {
    SCOPED_TRACE(FailAt);
    PassedBoard Board(board::DefaultScenario());
    FailingPorts Ports(Board.Ports, FailAt);
    auto Reading = InspectChip(Ports, {});
    ASSERT_FALSE(Reading);
    EXPECT_TRUE(Reading.Message().starts_with("read refused; ") ||
                Reading.Message().starts_with("write refused; "))
        << Reading.Message();
    // After the failed access only the chip's put-back: register 0x07 and
    // the exit key.
    EXPECT_GE(Ports.Made, FailAt + 1);
    EXPECT_LE(Ports.Made, FailAt + 3);
  }
}

pi::TraceEvent Out8(uint16_t Port, uint8_t Value) {
  pi::TraceEvent E;
  E.Kind = pi::EventKind::IoWrite;
  E.Width = 1;
  E.Port = Port;
  E.Value = Value;
  return E;
}

// The accesses the chip must see after a reading stopped early, when the
// first Attempted accesses of Clean (the same reading without a fault) were
// asked for and the first Made of them reached the board: at the port whose
// enter keys were written and not yet closed, register 0x07 back to Before
// when its value had been read there, then the exit key.
pi::Trace PutBackAfter(const pi::Trace& Clean, size_t Attempted, size_t Made, uint8_t Before) {
  std::optional<uint16_t> Open;
  bool SelectedRead = false;
  for (size_t I = 0; I < Attempted; ++I) {
    const auto& E = Clean[I];
    bool Write = E.Kind == pi::EventKind::IoWrite;
    if (Write && E.Value == SioEnterKey && !Open) {
      Open = E.Port;
      SelectedRead = false;
    } else if (Write && Open && E.Port == *Open && E.Value == SioExitKey && I < Made) {
      Open.reset();
    } else if (!Write && Open && E.Port == *Open + 1 && I < Made && I > 0 &&
               Clean[I - 1] == Out8(*Open, SioRegLogicalDevice)) {
      SelectedRead = true;
    }
  }
  pi::Trace Tail;
  if (!Open)
    return Tail;
  if (SelectedRead) {
    Tail.push_back(Out8(*Open, SioRegLogicalDevice));
    Tail.push_back(Out8(static_cast<uint16_t>(*Open + 1), Before));
  }
  Tail.push_back(Out8(*Open, SioExitKey));
  return Tail;
}

// Where Got and Want part, in words; empty when they are the same.
std::string FirstDifference(std::span<const pi::TraceEvent> Got,
                            std::span<const pi::TraceEvent> Want) {
  for (size_t I = 0; I < std::min(Got.size(), Want.size()); ++I) {
    if (!(Got[I] == Want[I]))
      return "access " + std::to_string(I) + ": " + pi::FormatEvent(Got[I]) + ", expected " +
             pi::FormatEvent(Want[I]);
  }
  if (Got.size() == Want.size())
    return {};
  auto Longer = Got.size() > Want.size() ? Got : Want;
  return std::to_string(Got.size()) + " accesses, expected " + std::to_string(Want.size()) +
         "; first of the rest: " + pi::FormatEvent(Longer[std::min(Got.size(), Want.size())]);
}

// Whatever ends the reading once the enter keys are written -- a failed
// access, an exception, a signal -- the chip is put back: for a fault at
// every access N of the reading, the board sees the same accesses as without
// it up to N, then nothing but register 0x07 put back (once read) and the
// exit key, and the chip ends out of configuration mode with the logical
// device found selected again.
TEST(ChipReader, EveryWayOutPutsTheChipBack) {
  using Fault = FailingPorts::Fault;
  struct Case {
    const char* Name;
    std::optional<uint16_t> ChipPort;
    bool All;
    Fault How;
    int Signal;
  };
  const Case Cases[] = {
      {"default read, failed access", 0x4E, false, Fault::Fail, 0},
      {"--all, failed access", 0x4E, true, Fault::Fail, 0},
      {"chip at 0x164E, failed access", 0x164E, false, Fault::Fail, 0},
      {"no chip, failed access", std::nullopt, false, Fault::Fail, 0},
      {"default read, the tool's own error", 0x4E, false, Fault::Throw, 0},
      {"chip at 0x164E, the tool's own error", 0x164E, false, Fault::Throw, 0},
      {"default read, SIGINT", 0x4E, false, Fault::Raise, SIGINT},
      {"default read, SIGTERM", 0x4E, false, Fault::Raise, SIGTERM},
      {"chip at 0x164E, SIGHUP", 0x164E, false, Fault::Raise, SIGHUP},
  };
  constexpr uint8_t kBefore = 0x05; // the logical device something else left selected
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    // One board, its pass run again before each reading.
    PassedBoard Board(ChipAt(C.ChipPort));
    auto Prepare = [&] {
      Board.Run(ChipAt(C.ChipPort));
      if (auto* Chip = Board.Target().Chip())
        Chip->SetRegister(0, SioRegLogicalDevice, kBefore);
    };
    Prepare();
    (void)InspectChip(Board.Ports, {std::nullopt, C.All});
    const pi::Trace Clean = Board.AfterPass();
    ASSERT_GT(Clean.size(), 4u);

    size_t Broken = 0;
    for (size_t N = 1; N <= Clean.size() && Broken < 3; ++N) {
      Prepare();
      FailingPorts Ports(Board.Ports, N, C.How, C.Signal);
      std::optional<sio::Result<ChipReading>> Reading;
      std::string Problem;
      if (C.How == Fault::Throw) {
        try {
          (void)InspectChip(Ports, {std::nullopt, C.All});
          Problem = "no exception thrown on; ";
        } catch (const std::runtime_error& Error) {
          if (std::string(Error.what()) != "tool fault")
            Problem = std::string("another exception: ") + Error.what() + "; ";
        }
      } else if (C.How == Fault::Raise) {
        SignalHold Hold;
        Reading.emplace(InspectChip(Ports, {std::nullopt, C.All}, &Hold));
        Hold.Release();
        if (Hold.Caught() != C.Signal)
          Problem += "signal caught: " + std::to_string(Hold.Caught()) + "; ";
      } else {
        Reading.emplace(InspectChip(Ports, {std::nullopt, C.All}));
      }
      size_t Made = C.How == Fault::Raise ? N : N - 1;
      pi::Trace Tail = PutBackAfter(Clean, N, Made, kBefore);
      std::span<const pi::TraceEvent> Got(Board.Engine.Events());
      Got = Got.subspan(Board.PassEvents);
      auto Before = Got.first(std::min(Made, Got.size()));
      if (std::string Where = FirstDifference(Before, std::span(Clean).first(Made)); !Where.empty())
        Problem += Where + "; ";
      else if (std::string Where = FirstDifference(Got.subspan(Made), Tail); !Where.empty())
        Problem += "after the fault, " + Where + "; ";
      if (auto* Chip = Board.Target().Chip()) {
        if (Chip->InConfigMode())
          Problem += "chip left in configuration mode; ";
        if (Chip->SelectedDevice() != kBefore)
          Problem +=
              "logical device " + std::to_string(Chip->SelectedDevice()) + " left selected; ";
      }
      if (Reading && C.How == Fault::Fail) {
        const std::string Says = *Reading ? "" : Reading->Message();
        if (!Says.starts_with("read refused") && !Says.starts_with("write refused"))
          Problem += "message: " + Says + "; ";
        else if (!Tail.empty() &&
                 !Says.ends_with("exit key written at " + sio::Hex(Tail.back().Port, 4)))
          Problem += "message: " + Says + "; ";
      }
      if (Reading && C.How == Fault::Raise && N < Clean.size() &&
          (*Reading ||
           Reading->Message().find("interrupted by " + SignalName(C.Signal)) == std::string::npos))
        Problem += "not reported as interrupted; ";
      if (!Problem.empty()) {
        ADD_FAILURE() << "fault at access " << N << " of " << Clean.size() << ": " << Problem;
        ++Broken;
      }
    }
  }
}

// A chip of the family that answers with another second ID byte is put
// back out of configuration mode by the probe that found no match, at every
// port probed; the plan shows that exit key too.
TEST(ChipReader, ProbeClosesEveryPortWithoutAMatch) {
  struct Case {
    const char* Name;
    uint16_t ChipPort;
    std::optional<uint16_t> Given;
  };
  for (const Case& C : {Case{"discovery, chip at 0x4E", 0x4E, std::nullopt},
                        Case{"discovery, chip at 0x164E", 0x164E, std::nullopt},
                        Case{"--chip-port 0x4E", 0x4E, 0x4E}}) {
    SCOPED_TRACE(C.Name);
    board::Scenario Scenario = ChipAt(C.ChipPort);
    Scenario.ChipIdLow = 0x17;
    PassedBoard Board(Scenario);
    auto Reading = InspectChip(Board.Ports, {C.Given, false});
    ASSERT_FALSE(Reading);
    EXPECT_FALSE(Board.Target().Chip()->InConfigMode());
    // Each probe is followed by the exit key at its port.
    std::vector<uint16_t> Closed;
    for (const auto& E : Board.AfterPass()) {
      if (E.Kind == pi::EventKind::IoWrite && E.Value == SioExitKey)
        Closed.push_back(E.Port);
    }
    std::vector<uint16_t> Probed = C.Given ? std::vector<uint16_t>{*C.Given} : ModuleProbeOrder();
    EXPECT_EQ(Closed, Probed);
    EXPECT_EQ(BrokenRules(Board.AfterPass(), std::nullopt), std::vector<std::string>{});

    size_t PlannedKeys = 0;
    for (const auto& Line : PlanInspection({C.Given, false})) {
      if (Line.find("<- 0xAA") != std::string::npos &&
          Line.find("when the ID did not match") != std::string::npos)
        ++PlannedKeys;
    }
    EXPECT_EQ(PlannedKeys, Probed.size());
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
    if (Real->Accesses[I].Kind == pi::EventKind::IoWrite)
      Made.push_back(pi::FormatEvent(Real->Accesses[I]));
  }
  std::vector<std::string> Planned = PlannedWrites(Plan, Reading);
  for (auto& Write : Planned) {
    if (Write.ends_with("V"))
      Write.replace(Write.size() - 1, 1, "0x08");
  }
  EXPECT_EQ(Planned, Made);
}

// With a patched image's board values the discovery probes that image's
// ports, in its order, and no other: not one access reaches another port,
// whether the chip is found or not; the plan shows the same ports.
TEST(ChipReader, DiscoveryProbesOnlyTheImagesPorts) {
  struct Case {
    const char* Name;
    chip::BoardValues Values;
    std::optional<uint16_t> ChipPort;
    std::vector<uint16_t> Probed;
  };
  const Case Cases[] = {
      {"0x2E only, chip there", ProbingOnly({0x2E}), 0x2E, {0x2E}},
      {"0x2E only, no chip", ProbingOnly({0x2E}), std::nullopt, {0x2E}},
      {"0x2E only, chip at 0x4E", ProbingOnly({0x2E}), 0x4E, {0x2E}},
      {"0x164E then 0x2E", ProbingOnly({0x164E, 0x2E}), 0x2E, {0x164E, 0x2E}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    PassedBoard Board(ChipAt(C.ChipPort), C.Values);
    auto Reading = InspectChip(Board.Ports, {std::nullopt, false, C.Values});
    EXPECT_EQ(bool(Reading), C.ChipPort == C.Probed.back());
    if (Reading)
      EXPECT_EQ(Reading->PortsProbed, C.Probed);
    else
      EXPECT_TRUE(Reading.Message().ends_with(" at " +
                                              [&] {
                                                std::string Text;
                                                for (uint16_t P : C.Probed)
                                                  Text +=
                                                      (Text.empty() ? "" : ", ") + sio::Hex(P, 4);
                                                return Text;
                                              }()))
          << Reading.Message();
    std::set<uint16_t> Reached;
    for (const auto& E : Board.AfterPass())
      Reached.insert(E.Port);
    std::set<uint16_t> Allowed;
    for (uint16_t P : C.Probed)
      Allowed.insert({P, static_cast<uint16_t>(P + 1)});
    EXPECT_EQ(Reached, Allowed);
    EXPECT_FALSE(Board.Target().Chip() && Board.Target().Chip()->InConfigMode());
    auto Plan = PlanInspection({std::nullopt, false, C.Values});
    ASSERT_FALSE(Plan.empty());
    EXPECT_EQ(Plan[0].find("0x004E"), std::string::npos) << Plan[0];
  }
  // An image that probes no port: no discovery, and no reading planned.
  chip::BoardValues None = ProbingOnly({});
  EXPECT_EQ(ModuleProbeOrder(None), std::vector<uint16_t>{});
  EXPECT_EQ(PlanInspection({std::nullopt, false, None}).size(), 1u);
}

// The registers read follow the image's script: the devices it selects and
// the registers it writes, never 0x77 or 0xAA (the keys at the index port).
TEST(ChipReader, RegistersReadFollowTheImagesScript) {
  RegisterSet Built = ModuleRegisters();
  EXPECT_EQ(Built.Devices, (std::vector<uint8_t>{0, 1, 8}));
  RegisterSet Patched = ModuleRegisters(WithScript(
      {0x07, 0x03, 0x30, 0x01, 0xF4, 0x11, 0x07, 0x05, 0x77, 0x01, 0xAA, 0x02, 0x29, 0x40}));
  EXPECT_EQ(Patched.Devices, (std::vector<uint8_t>{3, 5, 8}));
  EXPECT_EQ(Patched.Globals, (std::vector<uint8_t>{0x07, 0x20, 0x21, 0x29}));
  EXPECT_EQ(Patched.DeviceRegisters, (std::vector<uint8_t>{0x30, 0xF0, 0xF1, 0xF4}));
}

// The put-back itself may fail: at its index write or its data write for
// register 0x07. The exit key is still written, and the message says what was
// not put back.
TEST(ChipReader, TheExitKeyFollowsAPutBackOfRegister07ThatFailed) {
  constexpr uint8_t kBefore = 0x05;
  PassedBoard Board(board::DefaultScenario());
  auto Prepare = [&] {
    Board.Run(board::DefaultScenario());
    Board.Target().Chip()->SetRegister(0, SioRegLogicalDevice, kBefore);
  };
  Prepare();
  (void)InspectChip(Board.Ports, {});
  const pi::Trace Clean = Board.AfterPass();
  size_t Tried = 0;
  for (size_t N = 1; N <= Clean.size(); ++N) {
    // Only readings stopped after register 0x07 was read put it back.
    if (PutBackAfter(Clean, N, N - 1, kBefore).size() != 3)
      continue;
    for (size_t Step : {1u, 2u}) { // the put-back's index write, then its data write
      SCOPED_TRACE(testing::Message() << "reading stopped at access " << N << ", put-back access "
                                      << Step << " failed");
      ++Tried;
      Prepare();
      FailingPorts Ports(Board.Ports, N);
      Ports.AlsoFail = {N + Step};
      auto Reading = InspectChip(Ports, {});
      ASSERT_FALSE(Reading);
      EXPECT_NE(Reading.Message().find("register 0x07 not put back (write refused)"),
                std::string::npos)
          << Reading.Message();
      EXPECT_TRUE(Reading.Message().ends_with("exit key written at 0x004E")) << Reading.Message();
      const pi::Trace& Events = Board.Engine.Events();
      ASSERT_FALSE(Events.empty());
      EXPECT_EQ(Events.back(), Out8(0x4E, SioExitKey)) << pi::FormatEvent(Events.back());
      EXPECT_FALSE(Board.Target().Chip()->InConfigMode());
    }
  }
  EXPECT_GT(Tried, 0u);
}

} // namespace
} // namespace inspect::test
