// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "chip/ConfigPortDecoder.h"

#include <algorithm>

namespace chip {

PortAccess ConfigPortState::Begin(const pi::TraceEvent& E, bool AtIndexPort) const {
  PortAccess A;
  A.AtIndexPort = AtIndexPort;
  A.Write = E.Kind == pi::EventKind::IoWrite;
  A.Value = static_cast<uint8_t>(E.Value);
  A.Device = Device_;
  A.Step = PortStep::NotByteWide;
  return A;
}

PortStep ConfigModeKeys::IndexWrite(uint8_t Value) {
  if (!ConfigMode_) {
    if (Value == kEnterKey) {
      ConfigMode_ = EnterKeySeen_;
      EnterKeySeen_ = !ConfigMode_;
      return ConfigMode_ ? PortStep::EnterKeySecond : PortStep::EnterKeyFirst;
    }
    EnterKeySeen_ = false;
    return PortStep::IgnoredIndexWrite;
  }
  if (Value == kExitKey) {
    ConfigMode_ = false;
    EnterKeySeen_ = false;
    return PortStep::ExitKey;
  }
  return PortStep::SelectRegister;
}

PortAccess ConfigPortState::Index(const pi::TraceEvent& E) {
  PortAccess A = Begin(E, true);
  if (E.Width != 1)
    return A;
  if (!A.Write) {
    A.Step = PortStep::IndexRead;
    return A;
  }
  LastRead_.reset();
  A.Step = Keys_.IndexWrite(A.Value);
  if (A.Step == PortStep::EnterKeySecond) {
    Index_.reset();
  } else if (A.Step == PortStep::SelectRegister) {
    Index_ = A.Value;
    A.Reg = A.Value;
  }
  return A;
}

PortAccess ConfigPortState::Data(const pi::TraceEvent& E) {
  PortAccess A = Begin(E, false);
  if (E.Width != 1)
    return A;
  std::optional<uint8_t> ReadBefore = LastRead_;
  LastRead_.reset();
  if (!Keys_.InConfigMode()) {
    A.Step = PortStep::DataOutsideConfig;
    return A;
  }
  if (!Index_) {
    A.Step = PortStep::DataBeforeIndex;
    return A;
  }
  A.Reg = *Index_;
  if (!A.Write) {
    LastRead_ = A.Value;
    A.Step = PortStep::RegisterRead;
    return A;
  }
  A.ReadBefore = ReadBefore;
  if (A.Reg == kRegLogicalDevice) {
    Device_ = A.Value;
    A.Step = PortStep::SelectDevice;
  } else if (A.Reg == kRegChipIdHigh || A.Reg == kRegChipIdLow) {
    A.Step = PortStep::ReadOnlyWrite;
  } else {
    A.Step = PortStep::RegisterWrite;
  }
  return A;
}

ConfigPortDecoder::ConfigPortDecoder()
    : ConfigPortDecoder(std::vector<uint16_t>(kCandidatePorts.begin(), kCandidatePorts.end())) {}

ConfigPortDecoder::ConfigPortDecoder(const std::vector<uint16_t>& IndexPorts) {
  for (uint16_t P : IndexPorts)
    if (std::none_of(Ports_.begin(), Ports_.end(), [P](const auto& Q) { return Q.first == P; }))
      Ports_.push_back({P, ConfigPortState{}});
}

std::optional<PortAccess> ConfigPortDecoder::Feed(const pi::TraceEvent& E) {
  if (!E.IsPortAccess())
    return std::nullopt;
  for (auto& [P, State] : Ports_) {
    if (E.Port == P || E.Port == DataPort(P)) {
      PortAccess A = E.Port == P ? State.Index(E) : State.Data(E);
      A.IndexPort = P;
      return A;
    }
  }
  return std::nullopt;
}

} // namespace chip
