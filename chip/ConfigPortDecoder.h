// SPDX-License-Identifier: BSD-2-Clause-Patent
// The configuration-port protocol followed access by access: which chip
// state (configuration mode, selected register, selected logical device) each
// index- or data-port access of a trace meets, and what it does there. One
// state per candidate index port. The trace decoder words the steps for
// people; the pass invariants judge them.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "chip/Registers.h"
#include "pi/Trace.h"

namespace chip {

enum class PortStep : uint8_t {
  NotByteWide,       // the chip answers byte accesses only: no effect
  IndexRead,         // read of the index port: no effect
  EnterKeyFirst,     // first enter key outside configuration mode
  EnterKeySecond,    // second enter key in a row: configuration mode opened
  IgnoredIndexWrite, // other index write outside configuration mode
  ExitKey,           // configuration mode closed
  SelectRegister,    // index write in configuration mode: Reg selected
  DataOutsideConfig, // data-port access outside configuration mode: ignored / floats
  DataBeforeIndex,   // data-port access with no register selected since entering
  SelectDevice,      // write of register 0x07: Device selected
  RegisterRead,      // Reg of Device read: Value
  RegisterWrite,     // Reg of Device written: Value
  ReadOnlyWrite,     // write of a chip ID register: ignored
};

struct PortAccess {
  uint16_t IndexPort = 0;
  bool Write = false;
  bool AtIndexPort = false;
  PortStep Step = PortStep::NotByteWide;
  uint8_t Device = 0; // the logical device selected when the access came
  uint8_t Reg = 0;    // the register selected (register and device steps)
  uint8_t Value = 0;  // the byte written or read
  // A data-port write right after a data-port read (no index write between):
  // the byte that read returned.
  std::optional<uint8_t> ReadBefore;
};

// The two-enter-key state machine of the index port, the one both the
// board's chip model (board/SuperIoChip.h) and the decoder below follow:
// outside configuration mode two enter keys in a row open it and any other
// byte is ignored (and breaks the pair); in it the exit key closes it and any
// other byte selects a register.
class ConfigModeKeys {
public:
  // The step a byte written to the index port makes: EnterKeyFirst,
  // EnterKeySecond, IgnoredIndexWrite, ExitKey or SelectRegister.
  PortStep IndexWrite(uint8_t Value);
  bool InConfigMode() const { return ConfigMode_; }

private:
  bool EnterKeySeen_ = false;
  bool ConfigMode_ = false;
};

// The protocol state of the chip at one index port.
class ConfigPortState {
public:
  PortAccess Index(const pi::TraceEvent& Event);
  PortAccess Data(const pi::TraceEvent& Event);

  bool InConfigMode() const { return Keys_.InConfigMode(); }
  uint8_t Device() const { return Device_; }

private:
  // The access's fields before its step is known (a non-byte access's).
  PortAccess Begin(const pi::TraceEvent& Event, bool AtIndexPort) const;

  ConfigModeKeys Keys_;
  std::optional<uint8_t> Index_;
  uint8_t Device_ = 0;
  std::optional<uint8_t> LastRead_; // set while the last access was a data-port read
};

class ConfigPortDecoder {
public:
  // Follows the chip at each of IndexPorts: by default the usual candidate
  // ports; a pass's decoder is given the ports its image probes.
  ConfigPortDecoder();
  explicit ConfigPortDecoder(const std::vector<uint16_t>& IndexPorts);

  // The step Event makes at the chip whose index or data port it hits, among
  // the followed index ports; nothing for any other port or a service call.
  // Events must come in trace order.
  std::optional<PortAccess> Feed(const pi::TraceEvent& Event);

private:
  std::vector<std::pair<uint16_t, ConfigPortState>> Ports_;
};

} // namespace chip
