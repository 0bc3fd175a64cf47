// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "invariants/PassInvariants.h"
#include "common/Hex.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <set>

#include "chip/BoardValues.h"
#include "chip/ConfigPortDecoder.h"
#include "chip/ExpectedPass.h"
#include "chip/SetupLayout.h"
#include "pi/Status.h"

namespace invariants {
namespace {

using pi::EventKind;
using pi::TraceEvent;
using namespace chip;

bool IsReadOffset(size_t Offset) {
  if (Offset >= kSetupEntrySize * kSetupEntryCount)
    return false;
  size_t Field = Offset % kSetupEntrySize;
  return Field == kEntryKind || Field == kEntryQualifier || Field == kEntryEnabled ||
         Field == kEntryParam0 || Field == kEntryParam2;
}

TraceEvent Out(uint8_t Width, uint16_t Port, uint32_t Value) {
  return {EventKind::IoWrite, Width, Port, Value, 0, {}};
}

// The index port among Ports that Port is, or is the data port of.
std::optional<uint16_t> CandidateIndexPort(const std::vector<uint16_t>& Ports, uint16_t Port) {
  for (uint16_t P : Ports) {
    if (Port == P || Port == DataPort(P))
      return P;
  }
  return std::nullopt;
}

class Checker {
public:
  Checker(const board::Scenario& Scenario, const board::PassResult& Result,
          const BoardValues& Board)
      : Scenario_(Scenario), Result_(Result), Events_(Result.Events), Board_(Board),
        EarlyWrites_(Board.EarlyWrites()), IndexPorts_(Board.IndexPorts()) {}

  std::vector<std::string> Run() {
    CheckEarlyWrites();
    CheckPortRange();
    std::optional<uint16_t> Found = CheckDiscovery();
    if (Found) {
      CheckConfiguration(*Found);
    } else if (DiscoveryComplete_) {
      CheckNothingAfterDiscovery();
    }
    CheckOutcome(Found);
    return std::move(Violations_);
  }

private:
  void Fail(std::string Message) { Violations_.push_back(std::move(Message)); }

  std::string At(size_t Index) const {
    return "event " + std::to_string(Index) + " (" +
           (Index < Events_.size() ? pi::FormatEvent(Events_[Index]) : "end of trace") + ")";
  }

  void CheckEarlyWrites() {
    for (size_t I = 0; I < EarlyWrites_.size(); ++I) {
      const TraceEvent Expected =
          Out(EarlyWrites_[I].Width, EarlyWrites_[I].Port, EarlyWrites_[I].Value);
      if (I >= Events_.size() || Events_[I] != Expected) {
        Fail("early write " + std::to_string(I + 1) + ": expected " + pi::FormatEvent(Expected) +
             ", got " + At(I));
      }
    }
  }

  void CheckPortRange() {
    for (size_t I = EarlyWrites_.size(); I < Events_.size(); ++I) {
      const auto& E = Events_[I];
      if (!E.IsPortAccess())
        continue;
      auto Index = CandidateIndexPort(IndexPorts_, E.Port);
      if (E.Width != 1 || !Index) {
        Fail("access outside the chip's candidate ports after the early writes: " + At(I));
      } else if (E.Kind == EventKind::IoRead && E.Port == *Index) {
        Fail("read of an index port: " + At(I));
      }
    }
  }

  // Next event at or after Cursor_, which must be exactly Expected.
  bool Expect(const TraceEvent& Expected, const char* What) {
    if (Cursor_ < Events_.size() && Events_[Cursor_] == Expected) {
      ++Cursor_;
      return true;
    }
    Fail(std::string(What) + ": expected " + pi::FormatEvent(Expected) + ", got " + At(Cursor_));
    return false;
  }
  // Next event must be a byte read of Port; returns the byte.
  std::optional<uint8_t> ExpectRead(uint16_t Port, const char* What) {
    if (Cursor_ < Events_.size() && Events_[Cursor_].Kind == EventKind::IoRead &&
        Events_[Cursor_].Width == 1 && Events_[Cursor_].Port == Port) {
      return uint8_t(Events_[Cursor_++].Value);
    }
    Fail(std::string(What) + ": expected in8 " + sio::Hex(Port, 2) + ", got " + At(Cursor_));
    return std::nullopt;
  }

  // Walks the probes in their fixed order; returns the port that answered with
  // the chip's ID, or nullopt when none did (or the probes went astray).
  std::optional<uint16_t> CheckDiscovery() {
    Cursor_ = EarlyWrites_.size();
    for (uint16_t Q : Board_.ProbeOrder()) {
      auto Data = DataPort(Q);
      if (!Expect(Out(1, Q, kEnterKey), "probe: enter key") ||
          !Expect(Out(1, Q, kEnterKey), "probe: enter key") ||
          !Expect(Out(1, Q, kRegChipIdHigh), "probe: select chip ID register 0x20")) {
        return std::nullopt;
      }
      auto High = ExpectRead(Data, "probe: read chip ID register 0x20");
      if (!High)
        return std::nullopt;
      if (*High != kChipIdHigh)
        continue;
      if (!Expect(Out(1, Q, kRegChipIdLow), "probe: select chip ID register 0x21")) {
        return std::nullopt;
      }
      auto Low = ExpectRead(Data, "probe: read chip ID register 0x21");
      if (!Low)
        return std::nullopt;
      if (*Low == kChipIdLow) {
        DiscoveryComplete_ = true;
        return Q;
      }
    }
    DiscoveryComplete_ = true;
    return std::nullopt;
  }

  void CheckNothingAfterDiscovery() {
    if (Cursor_ < Events_.size()) {
      Fail("no chip answered, yet the pass went on: " + At(Cursor_));
    }
  }

  void CheckConfiguration(uint16_t P) {
    auto Data = DataPort(P);
    size_t ConfigStart = Cursor_;
    // Only P and P + 1 from here on.
    for (size_t I = ConfigStart; I < Events_.size(); ++I) {
      const auto& E = Events_[I];
      if (E.IsPortAccess() && (E.Width != 1 || (E.Port != P && E.Port != Data))) {
        Fail("access away from the found port " + sio::Hex(P, 2) + " after discovery: " + At(I));
      }
    }
    // Configuration mode again, then the register script, pair by pair.
    bool InStep = Expect(Out(1, P, kEnterKey), "configuration: enter key") &&
                  Expect(Out(1, P, kEnterKey), "configuration: enter key");
    const std::vector<RegisterWrite> Script = Board_.Script();
    for (size_t I = 0; InStep && I < Script.size(); ++I) {
      InStep = Expect(Out(1, P, Script[I].Reg), "register script: register") &&
               Expect(Out(1, Data, Script[I].Value), "register script: value");
    }

    // The exit key: one write of 0xAA to P, the last port access of the pass.
    std::optional<size_t> Exit, LastAccess;
    int ExitCount = 0;
    for (size_t I = ConfigStart + 2; I < Events_.size(); ++I) {
      const auto& E = Events_[I];
      if (!E.IsPortAccess())
        continue;
      LastAccess = I;
      if (E.Kind == EventKind::IoWrite && E.Port == P && E.Value == kExitKey) {
        ++ExitCount;
        Exit = I;
      }
    }
    if (ExitCount != 1) {
      Fail("exit key written " + std::to_string(ExitCount) + " times to " + sio::Hex(P, 2) +
           ", expected once");
    } else if (Exit != LastAccess) {
      Fail("port access after the exit key: " + At(*LastAccess));
    }

    CheckLd8(P, ConfigStart + 2, Exit.value_or(Events_.size()));

    std::vector<size_t> Installs;
    for (size_t I = 0; I < Events_.size(); ++I) {
      if (Events_[I].Kind == EventKind::InstallPpi)
        Installs.push_back(I);
    }
    if (Installs.size() != 1) {
      Fail("InstallPpi called " + std::to_string(Installs.size()) +
           " times with a chip found, expected once");
    } else if (Exit && Installs[0] < *Exit) {
      Fail("InstallPpi before the exit key: " + At(Installs[0]));
    } else if (Installs[0] + 1 != Events_.size()) {
      Fail("events after InstallPpi: " + At(Installs[0] + 1));
    }
  }

  // Logical device 8 only as the settings stage allows it (kLd8Sequence):
  // activated, register 0xF0 written back only with what it read, ANDed with
  // a mask of bits 1 and 2, register 0xF1 only given the Param[0] of a
  // matching entry inside the returned data; no other register of it, and
  // nothing at all without a matching entry. The chip's state (selected
  // register and device) is followed through the whole trace by the shared
  // protocol decoder.
  void CheckLd8(uint16_t P, size_t From, size_t To) {
    ReturnedSetupData Returned = ReturnedData(Scenario_, Events_);
    std::set<uint8_t> Param0s;
    bool AnyParam0 = false; // an entry built from unknown bytes may match
    for (size_t K = 0; K < kSetupEntryCount; ++K) {
      size_t Base = K * kSetupEntrySize;
      if (Base + kEntryParam0 + 1 > Returned.Size)
        break;
      const auto& B = Returned.Bytes;
      if (!B[Base + kEntryKind] || !B[Base + kEntryQualifier] || !B[Base + kEntryEnabled] ||
          !B[Base + kEntryParam0]) {
        AnyParam0 = true;
      } else if (*B[Base + kEntryKind] == kKindLd8 && *B[Base + kEntryQualifier] == 0 &&
                 *B[Base + kEntryEnabled] == 1) {
        Param0s.insert(*B[Base + kEntryParam0]);
      }
    }
    bool AnyMatch = AnyParam0 || !Param0s.empty();

    ConfigPortDecoder Decoder(IndexPorts_);
    int ModeRead = -1; // register 0xF0 as last read while still selected; -1: not read
    for (size_t I = 0; I < To; ++I) {
      auto A = Decoder.Feed(Events_[I]);
      if (!A || A->IndexPort != P || I < From)
        continue;
      if (A->AtIndexPort && A->Write) {
        ModeRead = -1;
        continue;
      }
      if (A->Step == PortStep::SelectDevice) {
        ModeRead = -1;
        continue;
      }
      if (A->Step == PortStep::RegisterRead) {
        if (A->Device == kLd8 && A->Reg == kLd8RegMode)
          ModeRead = A->Value;
        continue;
      }
      if (A->Step != PortStep::RegisterWrite || A->Device != kLd8 ||
          A->Reg < kFirstDeviceRegister) {
        continue;
      }
      if (!AnyMatch) {
        Fail("logical device 8 programmed without a matching entry in the returned data: " + At(I));
        continue;
      }
      // The step of the sequence that writes this register says what it may hold.
      const Ld8Step* Step = nullptr;
      for (const auto& S : kLd8Sequence) {
        if (S.Op != Ld8Op::Read && S.Reg == A->Reg)
          Step = &S;
      }
      if (Step == nullptr) {
        Fail("logical device 8 register " + sio::Hex(A->Reg, 2) + " written: " + At(I));
        continue;
      }
      switch (Step->Value) {
      case Ld8Value::Active:
        if (A->Value != kLd8Active)
          Fail("logical device 8 written other than active: " + At(I));
        break;
      case Ld8Value::ModeAfter:
        if (ModeRead < 0) {
          Fail("register 0xF0 written without being read first: " + At(I));
        } else if (A->Value & ~ModeRead) {
          Fail("register 0xF0 got a bit set (read " + sio::Hex(unsigned(ModeRead), 2) +
               "): " + At(I));
        } else if (uint8_t(ModeRead & ~A->Value) & ~kLd8ModeClearable) {
          Fail("register 0xF0 lost a bit other than bits 1 and 2 (read " +
               sio::Hex(unsigned(ModeRead), 2) + "): " + At(I));
        }
        break;
      case Ld8Value::Param0:
        if (!AnyParam0 && !Param0s.count(A->Value)) {
          Fail("register 0xF1 written with a byte that is no matching entry's Param[0]: " + At(I));
        }
        break;
      case Ld8Value::Device:
      case Ld8Value::ModeBefore:
        break;
      }
    }
  }

  void CheckOutcome(const std::optional<uint16_t>& Found) {
    const pi::TraceEvent* Install = nullptr;
    for (const auto& E : Events_) {
      if (E.Kind == EventKind::InstallPpi)
        Install = &E;
    }
    if (!Found) {
      if (DiscoveryComplete_ && Result_.Status != pi::kEfiUnsupported) {
        Fail("no chip answered, status " + pi::StatusName(Result_.Status) +
             ", expected EFI_UNSUPPORTED");
      }
      if (Install)
        Fail("InstallPpi called without a chip");
      if (!Result_.Ppis.empty())
        Fail("a PPI installed without a chip");
      return;
    }
    if (!Install)
      return; // reported by CheckConfiguration
    if (Result_.Status != Install->Status) {
      Fail("status " + pi::StatusName(Result_.Status) + ", InstallPpi returned " +
           pi::StatusName(Install->Status));
    }
    std::vector<board::InstalledPpi> Expected;
    if (!pi::IsError(Install->Status)) {
      Expected.push_back({kReadyPpiGuid, kReadyPpiFlags, false});
    }
    if (Result_.Ppis != Expected) {
      Fail("installed PPIs are not exactly the ready PPI without interface, flags 0x80000010");
    }
  }

  const board::Scenario& Scenario_;
  const board::PassResult& Result_;
  const pi::Trace& Events_;
  const BoardValues& Board_;
  const std::vector<PortWrite> EarlyWrites_;
  const std::vector<uint16_t> IndexPorts_;
  size_t Cursor_ = 0;
  bool DiscoveryComplete_ = false;
  std::vector<std::string> Violations_;
};

// The scenario with every byte of the variable and of the stale buffer that a
// sound module cannot be steered by replaced through Change.
board::Scenario Mutated(const board::Scenario& Scenario, size_t ReturnedSize,
                        uint8_t (*Change)(size_t Offset, uint8_t Byte)) {
  board::Scenario S = Scenario;
  auto Mutable = [&](size_t I) { return I >= ReturnedSize || !IsReadOffset(I); };
  if (S.SetupVariable) {
    for (size_t I = 0; I < S.SetupVariable->size(); ++I) {
      if (Mutable(I))
        (*S.SetupVariable)[I] = Change(I, (*S.SetupVariable)[I]);
    }
  }
  auto& Stale = S.Faults.StaleBuffer;
  for (size_t I = 0; I < Stale.size(); ++I) {
    if (Mutable(I))
      Stale[I] = Change(I, Stale[I]);
  }
  return S;
}

// Bytes that would make a matching entry, were they read.
uint8_t Tempting(size_t Offset, uint8_t) {
  switch (Offset % kSetupEntrySize) {
  case kEntryKind:
    return kKindLd8;
  case kEntryQualifier:
    return 0x00;
  case kEntryEnabled:
    return 0x01;
  case kEntryParam0:
    return 0xA5;
  case kEntryParam2:
    return 0x00;
  default:
    return 0xC3;
  }
}
uint8_t Flipped(size_t, uint8_t Byte) {
  return uint8_t(~Byte);
}

std::optional<std::string> FirstDifference(const board::PassResult& A, const board::PassResult& B) {
  size_t N = std::min(A.Events.size(), B.Events.size());
  for (size_t I = 0; I < N; ++I) {
    if (A.Events[I] != B.Events[I]) {
      return "event " + std::to_string(I) + ": " + pi::FormatEvent(A.Events[I]) + " became " +
             pi::FormatEvent(B.Events[I]);
    }
  }
  if (A.Events.size() != B.Events.size()) {
    return std::to_string(A.Events.size()) + " events became " + std::to_string(B.Events.size());
  }
  if (A.Status != B.Status) {
    return "status " + pi::StatusName(A.Status) + " became " + pi::StatusName(B.Status);
  }
  return std::nullopt;
}

} // namespace

ReturnedSetupData ReturnedData(const board::Scenario& Scenario, const pi::Trace& Events) {
  ReturnedSetupData Returned;
  auto Call = std::find_if(Events.begin(), Events.end(),
                           [](const TraceEvent& E) { return E.Kind == EventKind::GetVariable; });
  if (Call == Events.end() || pi::IsError(Call->Status))
    return Returned;

  // A status fault copies nothing and reports the buffer's size; otherwise the
  // variable (at most the buffer) is copied and its size, or the injected
  // claim, reported.
  const auto& F = Scenario.Faults;
  size_t Copied = 0, Claimed = kSetupDataSize;
  if (!F.GetVariableStatus && Scenario.SetupVariable) {
    Copied = std::min(Scenario.SetupVariable->size(), kSetupDataSize);
    Claimed = F.GetVariableReportedSize.value_or(uint32_t(Scenario.SetupVariable->size()));
  }
  // A claim beyond the buffer cannot be true: only what was copied was handed over.
  Returned.Size = Claimed <= kSetupDataSize ? Claimed : Copied;
  for (size_t I = 0; I < Returned.Size; ++I) {
    if (I < Copied) {
      Returned.Bytes.push_back((*Scenario.SetupVariable)[I]);
    } else if (I < F.StaleBuffer.size()) {
      Returned.Bytes.push_back(F.StaleBuffer[I]);
    } else {
      Returned.Bytes.push_back(std::nullopt);
    }
  }
  return Returned;
}

std::vector<std::string> CheckPass(const board::Scenario& Scenario, const board::PassResult& Result,
                                   const PassRunner& Rerun, const chip::BoardValues& Board) {
  std::vector<std::string> Violations = Checker(Scenario, Result, Board).Run();
  if (!Rerun)
    return Violations;
  size_t Size = ReturnedData(Scenario, Result.Events).Size;
  for (auto* Change : {&Flipped, &Tempting}) {
    board::PassResult Again = Rerun(Mutated(Scenario, Size, Change));
    if (auto Difference = FirstDifference(Result, Again)) {
      Violations.push_back(
          std::string("bytes outside the returned variable data steer the pass (") +
          (Change == &Flipped ? "flipped" : "made to match") + "): " + *Difference);
    }
  }
  return Violations;
}

} // namespace invariants
