// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "chip/BoardValues.h"

#include <algorithm>
#include <cstring>

namespace chip {

BoardValues BoardValues::FromRecord(const SioBoardConfig& Record) {
  BoardValues C;
  C.PostCode = Record.PostCode;
  C.LpcDecodeAddress = Record.LpcDecodeAddress;
  C.LpcDecodeValue = Record.LpcDecodeValue;
  C.ConfigPort = Record.ProbePorts[0];
  for (size_t I = 0; I < C.CandidatePorts.size(); ++I)
    C.CandidatePorts[I] = Record.ProbePorts[1 + I];
  std::memcpy(C.ScriptBytes.data(), Record.InitScript, C.ScriptBytes.size());
  return C;
}

SioBoardConfig BoardValues::Record() const {
  SioBoardConfig R{};
  R.PostCode = PostCode;
  R.LpcDecodeAddress = LpcDecodeAddress;
  R.LpcDecodeValue = LpcDecodeValue;
  R.ProbePorts[0] = ConfigPort;
  for (size_t I = 0; I < CandidatePorts.size(); ++I)
    R.ProbePorts[1 + I] = CandidatePorts[I];
  std::memcpy(R.InitScript, ScriptBytes.data(), ScriptBytes.size());
  return R;
}

std::vector<uint16_t> BoardValues::ProbeOrder() const {
  std::vector<uint16_t> Order;
  if (ConfigPort != 0)
    Order.push_back(ConfigPort);
  for (uint16_t P : CandidatePorts)
    if (P != 0)
      Order.push_back(P);
  return Order;
}

std::vector<uint16_t> BoardValues::IndexPorts() const {
  std::vector<uint16_t> Ports;
  for (uint16_t P : ProbeOrder())
    if (std::find(Ports.begin(), Ports.end(), P) == Ports.end())
      Ports.push_back(P);
  return Ports;
}

std::vector<RegisterWrite> BoardValues::Script() const {
  std::vector<RegisterWrite> Pairs;
  for (size_t I = 0; I + 1 < ScriptBytes.size(); I += 2) {
    if (ScriptBytes[I] == 0 && ScriptBytes[I + 1] == 0)
      break;
    Pairs.push_back({ScriptBytes[I], ScriptBytes[I + 1]});
  }
  return Pairs;
}

bool BoardValues::ScriptHasEndPair() const {
  return Script().size() < SioInitScriptReservedPairs;
}

std::vector<PortWrite> BoardValues::EarlyWrites() const {
  std::vector<PortWrite> Writes = {{2, kPostCodePort, PostCode}};
  if (WritesLpcDecode()) {
    Writes.push_back({4, kPciConfigAddressPort, LpcDecodeAddress});
    Writes.push_back({4, kPciConfigDataPort, LpcDecodeValue});
  }
  return Writes;
}

const BoardValues& DefaultBoardValues() {
  static const BoardValues Defaults = BoardValues::FromRecord(SioBoardConfigDefaults);
  return Defaults;
}

} // namespace chip
