// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "board/Board.h"

#include "chip/SetupLayout.h"

namespace board {

Board::Board(const Scenario& Config) : Bus_(Log_), Pei_(Log_, {}) {
  Log_.reserve(128);
  Reset(Config);
}

void Board::Reset(const Scenario& Config) {
  if (&Config != &Config_)
    Config_ = Config;
  Pei_.Recycle(Log_);
  Log_.clear();
  Post_.Reset();
  Bridge_.Reset();
  Pei_.Reset(Config_.Faults);
  ChipReadsAnswered_ = 0;
  Bus_.DetachAll();
  Bus_.Attach(Post_);
  Bus_.Attach(Bridge_);
  ChipPresent_ = Config_.ChipPort.has_value() && Config_.Kind == ChipKind::SuperIo;
  StandInPresent_ = Config_.ChipPort.has_value() && Config_.Kind == ChipKind::MixerStandIn;
  if (StandInPresent_) {
    if (StandIn_)
      StandIn_->Reset(*Config_.ChipPort);
    else
      StandIn_ = std::make_unique<MixerStandIn>(*Config_.ChipPort);
    StandIn_->WriteRegister(chip::kRegChipIdHigh, Config_.ChipIdHigh);
    StandIn_->WriteRegister(chip::kRegChipIdLow, Config_.ChipIdLow);
    for (const auto& Preset : Config_.Registers)
      StandIn_->WriteRegister(Preset.Reg, Preset.Value);
    Bus_.Attach(*StandIn_);
  }
  if (ChipPresent_) {
    if (Chip_)
      Chip_->Reset(*Config_.ChipPort, Config_.ChipIdHigh, Config_.ChipIdLow);
    else
      Chip_ =
          std::make_unique<SuperIoChip>(*Config_.ChipPort, Config_.ChipIdHigh, Config_.ChipIdLow);
    for (const auto& Preset : Config_.Registers) {
      Chip_->SetRegister(Preset.Device, Preset.Reg, Preset.Value);
    }
    if (!Config_.ChipReadAnswers.empty()) {
      Chip_->SetReadOverride([this](uint8_t, uint8_t) -> std::optional<uint8_t> {
        if (ChipReadsAnswered_ >= Config_.ChipReadAnswers.size())
          return std::nullopt;
        return Config_.ChipReadAnswers[ChipReadsAnswered_++];
      });
    }
    Bus_.Attach(*Chip_);
  }
  if (Config_.SetupVariable) {
    Pei_.SetVariable(chip::kSetupVariableName, pi::kSioSetupVendorGuid, *Config_.SetupVariable,
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
    for (const auto& Preset : Config_.Registers) {
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
