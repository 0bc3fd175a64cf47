// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/Board.h"

#include "chip/SetupLayout.h"

namespace board {

Board::Board(const Scenario& Scenario) : Bus_(Log_), Pei_(Log_, {}) {
  Log_.reserve(128);
  Reset(Scenario);
}

void Board::Reset(const Scenario& Scenario) {
  if (&Scenario != &Scenario_)
    Scenario_ = Scenario;
  Pei_.Recycle(Log_);
  Log_.clear();
  Post_.Reset();
  Bridge_.Reset();
  Pei_.Reset(Scenario_.Faults);
  ChipReadsAnswered_ = 0;
  Bus_.DetachAll();
  Bus_.Attach(Post_);
  Bus_.Attach(Bridge_);
  ChipPresent_ = Scenario_.ChipPort.has_value() && Scenario_.Kind == ChipKind::SuperIo;
  StandInPresent_ = Scenario_.ChipPort.has_value() && Scenario_.Kind == ChipKind::MixerStandIn;
  if (StandInPresent_) {
    if (StandIn_)
      StandIn_->Reset(*Scenario_.ChipPort);
    else
      StandIn_ = std::make_unique<MixerStandIn>(*Scenario_.ChipPort);
    StandIn_->WriteRegister(chip::kRegChipIdHigh, Scenario_.ChipIdHigh);
    StandIn_->WriteRegister(chip::kRegChipIdLow, Scenario_.ChipIdLow);
    for (const auto& Preset : Scenario_.Registers)
      StandIn_->WriteRegister(Preset.Reg, Preset.Value);
    Bus_.Attach(*StandIn_);
  }
  if (ChipPresent_) {
    if (Chip_)
      Chip_->Reset(*Scenario_.ChipPort, Scenario_.ChipIdHigh, Scenario_.ChipIdLow);
    else
      Chip_ = std::make_unique<SuperIoChip>(*Scenario_.ChipPort, Scenario_.ChipIdHigh,
                                            Scenario_.ChipIdLow);
    for (const auto& Preset : Scenario_.Registers) {
      Chip_->SetRegister(Preset.Device, Preset.Reg, Preset.Value);
    }
    if (!Scenario_.ChipReadAnswers.empty()) {
      Chip_->SetReadOverride([this](uint8_t, uint8_t) -> std::optional<uint8_t> {
        if (ChipReadsAnswered_ >= Scenario_.ChipReadAnswers.size())
          return std::nullopt;
        return Scenario_.ChipReadAnswers[ChipReadsAnswered_++];
      });
    }
    Bus_.Attach(*Chip_);
  }
  if (Scenario_.SetupVariable) {
    Pei_.SetVariable(chip::kSetupVariableName, pi::kSioSetupVendorGuid, *Scenario_.SetupVariable,
                     kSetupVariableAttributes);
  }
}
PassResult Board::Result(uint32_t Status) const {
  PassResult R;
  R.Status = Status;
  R.Events = Log_;
  for (const auto& Ppi : Pei_.Installed()) {
    R.Ppis.push_back({Ppi.Guid, Ppi.Flags, Ppi.PpiAddress != 0});
  }
  if (ChipPresent_) {
    ChipState State;
    State.IndexPort = Chip_->IndexPort();
    State.InConfigMode = Chip_->InConfigMode();
    for (uint8_t Reg = 0; Reg < State.Global.size(); ++Reg)
      State.Global[Reg] = Chip_->Register(0, Reg);
    auto Capture = [&](uint8_t Device) { State.Devices[Device] = Chip_->DeviceView(Device); };
    for (int Device = 0; Device < 256; ++Device) {
      if (Chip_->DeviceTouched(uint8_t(Device)))
        Capture(uint8_t(Device));
    }
    for (const auto& Preset : Scenario_.Registers) {
      if (Preset.Reg >= chip::kFirstDeviceRegister)
        Capture(Preset.Device);
    }
    R.Chip = std::move(State);
  }
  if (StandInPresent_) {
    ChipState State;
    State.IndexPort = StandIn_->IndexPort();
    State.Flat = StandIn_->Registers();
    R.Chip = std::move(State);
  }
  for (uint8_t I = 0; I < 4; ++I)
    R.LpcBridgeDecode[I] = Bridge_.ConfigByte(uint8_t(0x80 + I));
  R.PostCodes = Post_.Codes();
  return R;
}

} // namespace board
