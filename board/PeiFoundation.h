// SPDX-License-Identifier: BSD-2-Clause-Patent
// Model of the PEI Foundation and of the read-only variable PPI's producer, in
// engine-neutral terms: addresses are plain numbers, so the host build (host
// pointers) and the emulator (guest addresses) drive the same model. Every
// call the module makes is recorded in the trace.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "pi/KnownGuids.h"
#include "pi/Trace.h"

namespace board {

// Longest PPI list InstallPpi walks before calling it malformed.
inline constexpr size_t kMaxPpiListLength = 64;

struct PpiDescriptor {
  uint32_t Flags = 0;
  pi::Guid Guid{};
  uint64_t DescriptorAddress = 0;
  uint64_t PpiAddress = 0; // the interface; 0 for an interface-less PPI
};

// Faults a scenario can switch on; each replaces the model's normal answer.
struct PeiFaults {
  bool NoVariablePpi = false;
  bool LocateReturnsNullPpi = false;               // success, but Ppi left NULL
  std::optional<uint32_t> InstallPpiStatus;        // returned, nothing installed if error
  std::optional<uint32_t> LocatePpiStatus;         // returned instead of the lookup
  std::optional<uint32_t> GetVariableStatus;       // returned, nothing copied
  std::optional<uint32_t> GetVariableReportedSize; // DataSize claimed on success
  // What the caller's buffer held before GetVariable (its stack's old bytes):
  // the producer leaves these in place beyond the bytes it copies, so a test
  // can tell whether a caller acts on bytes it was not given.
  std::vector<uint8_t> StaleBuffer;
  bool operator==(const PeiFaults&) const = default;
};

struct GetVariableResult {
  uint32_t Status = 0;
  uint64_t DataSize = 0; // written back to *DataSize
  // Written to the caller's buffer from its start (never more than it holds):
  // the variable's bytes, then the stale bytes beyond them.
  std::vector<uint8_t> Data;
  uint32_t Attributes = 0; // written back when the caller asked for them
};

struct LocatePpiResult {
  uint32_t Status = 0;
  uint64_t DescriptorAddress = 0;
  uint64_t PpiAddress = 0;
};

struct VariableKey {
  std::u16string Name;
  pi::Guid Guid{};
};

class PeiFoundation {
public:
  PeiFoundation(pi::Trace& Log, PeiFaults Faults) : Log_(Log), Faults_(std::move(Faults)) {}

  const PeiFaults& Faults() const { return Faults_; }

  // Back to the state of a new model with Faults: no PPI installed, no
  // variable. Storage is kept, so that a board reused pass after pass does not
  // allocate it again.
  void Reset(const PeiFaults& Faults);
  // Takes back the buffers of Events' service-call records before the trace
  // is cleared, so that the next passes record their calls without allocating.
  void Recycle(pi::Trace& Events);

  // Installs a PPI present before the module runs (the variable PPI); not traced.
  void Preinstall(const PpiDescriptor& Ppi) { Database_.push_back(Ppi); }
  void SetVariable(std::u16string_view Name, const pi::Guid& Guid, std::span<const uint8_t> Data,
                   uint32_t Attributes);
  void SetVariable(const VariableKey& Key, std::vector<uint8_t> Data, uint32_t Attributes) {
    SetVariable(Key.Name, Key.Guid, Data, Attributes);
  }

  // List: the caller's descriptors up to and including the one with the
  // terminate flag; nullopt for a NULL or unterminated list.
  uint32_t InstallPpi(const std::optional<std::vector<PpiDescriptor>>& List) {
    return List ? InstallPpi(*List, true) : InstallPpi({}, false);
  }
  // The same with the caller's list where it lies; WellFormed false for a NULL
  // or unterminated list.
  uint32_t InstallPpi(std::span<const PpiDescriptor> List, bool WellFormed);
  LocatePpiResult LocatePpi(const pi::Guid& Guid, uint64_t Instance, bool DescriptorWanted);
  // AttributesWanted: the caller gave an Attributes pointer (recorded; the
  // caller writes Result.Attributes through it).
  GetVariableResult GetVariable(std::optional<std::u16string_view> Name,
                                const std::optional<pi::Guid>& Guid, bool DataSizeGiven,
                                uint64_t BufferSize, bool DataGiven, bool AttributesWanted);

  // PPIs the module installed, in order.
  const std::vector<PpiDescriptor>& Installed() const { return Installed_; }

private:
  struct StoredVariable {
    std::u16string Name;
    pi::Guid Guid{};
    std::vector<uint8_t> Data;
    uint32_t Attributes = 0;
  };

  // Appends a service call of Kind to the trace and returns its record,
  // cleared, for the caller to fill.
  pi::ServiceCall& Record(pi::EventKind Kind, uint32_t Status);

  const StoredVariable* FindVariable(std::u16string_view Name, const pi::Guid& Guid) const;

  pi::Trace& Log_;
  PeiFaults Faults_;
  std::vector<PpiDescriptor> Database_;
  std::vector<PpiDescriptor> Installed_;
  // The first LiveVariables_ entries are the store (a handful at most, so a
  // plain search); the ones beyond are storage kept from earlier passes.
  std::vector<StoredVariable> Variables_;
  size_t LiveVariables_ = 0;
  std::vector<pi::ServiceCall> SpareCalls_;
  std::vector<size_t> Recorded_; // where in the trace the calls since Recycle lie
};

} // namespace board
