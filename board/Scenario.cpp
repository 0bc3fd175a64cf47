#include "board/Scenario.h"

namespace board {

std::vector<uint8_t> EmptySetupData() {
  return std::vector<uint8_t>(kSetupDataSize, 0);
}

void SetLd8Entry(std::vector<uint8_t>& Data, size_t Index, uint8_t Param0, uint8_t Param2,
                 uint8_t Enabled, uint8_t Qualifier) {
  uint8_t* Entry = Data.data() + 12 * Index;
  Entry[0] = 0x02; // chip ID bytes, as the variable's writer fills them
  Entry[1] = 0x16;
  Entry[3] = 0x12; // logical device 8
  Entry[4] = Qualifier;
  Entry[5] = Enabled;
  Entry[8] = Param0;
  Entry[10] = Param2;
}

Scenario DefaultScenario() {
  Scenario S;
  std::vector<uint8_t> Data = EmptySetupData();
  SetLd8Entry(Data, 2, 0x5A, 0x00);
  S.SetupVariable = std::move(Data);
  S.Registers.push_back({0x08, 0xF0, 0xFF});
  return S;
}

} // namespace board
