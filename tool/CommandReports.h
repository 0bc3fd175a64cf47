// SPDX-License-Identifier: BSD-2-Clause-Patent
// The reports of `sio image`, `sio var`, `sio pack` and `sio setup`: what
// each command found or did, as plain values. Each has one text printer and
// one JSON printer (tool/Report.h); the commands only fill them in.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "chip/BoardValues.h"
#include "common/JsonFields.h"
#include "emulator/DxeRun.h"
#include "hii/HiiDecoder.h"
#include "pe/ImageCheck.h"

namespace siotool {

// `sio image check`: the checks, and when the module was found in a
// firmware, its name and why that firmware never dispatches it (if it does not).
struct ImageCheckResult {
  pe::ImageCheckReport Image;
  std::string Module; // the module's file name (GUID); empty: an image alone
  std::optional<std::string> NeverDispatched; // the reason, with its remedy
};

// `sio image config`: the board record's PCDs as the image holds them.
struct PcdRow {
  std::string Name;
  std::string Type; // "UINT16", "UINT32", "VOID*"
  uint32_t Offset = 0;
  uint32_t Size = 0;
  std::string Value; // as a DSC writes it
};
struct ImageConfigList {
  std::string Image; // the path, and where in a firmware the module lies
  uint32_t RecordOffset = 0;
  std::string TokenSpace;
  std::vector<PcdRow> Pcds;
  std::vector<uint16_t> Probes;
  std::vector<chip::RegisterWrite> Script;
  bool ScriptHasEndPair = false;
  std::string Problem; // ConfigProblem; empty when sound
};
// `sio image config --set ... -o OUT`.
struct ImageConfigWritten {
  std::string Output;
  size_t PcdsSet = 0;
};
// `sio image config --inf`: the binary INF's section.
struct ImageConfigInf {
  std::string Section;
};
// `sio image extract`.
struct ImageExtracted {
  std::string Output;
  std::string Where; // FoundWhere
  size_t Size = 0;
  uint64_t LinkedAt = 0;
};

// `sio var encode` and `sio var decode`: the variable's content. Output is
// empty for decode.
struct VarContentReport {
  std::string Output;
  std::vector<uint8_t> Data;
};

// A firmware variable store as `sio var` describes it.
struct StoreSummary {
  std::string Path;
  std::string Format; // "authenticated", ...
  size_t StoreOffset = 0;
  std::optional<size_t> VolumeOffset;
  size_t Size = 0;
  size_t Free = 0;
};
struct VarRecordRow {
  size_t Offset = 0;
  uint8_t StateByte = 0;
  std::string State;
  uint32_t Attributes = 0;
  size_t Size = 0;
  std::string Guid;
  std::string Name;
};
// The setup variable's content, and what a firmware given with --firmware
// makes of it: Label names the entries applied, Verdict (empty without a
// firmware) says whether its module reads the variable.
struct SetupReading {
  std::string Label;
  std::string Verdict;
  std::vector<uint8_t> Data;
};
struct ReplacedCopy {
  size_t Offset = 0;
  uint8_t StateBefore = 0;
  uint8_t StateAfter = 0;
};
// `sio var store`.
struct VarStoreReport {
  StoreSummary Store; // before the write
  std::vector<ReplacedCopy> Replaced;
  bool Added = false; // no earlier valid copy
  VarRecordRow Stored;
  std::string Output;
  size_t OutputSize = 0;
  size_t FreeAfter = 0;
  SetupReading Setup;
};
// "0x07 (NV+BS+RT)": attributes as `sio var` shows them.
std::string VariableAttributesText(uint32_t Attributes);

// `sio var list`.
struct VarListReport {
  StoreSummary Store;
  std::vector<VarRecordRow> Records;
  std::optional<size_t> SetupAt; // the valid copy the firmware reads
  size_t ValidCopies = 0;
  SetupReading Setup;
};

// `sio pack ffs`, `sio pack dxe`, `sio pack fv`: the file written.
struct PackReport {
  std::string Output;
  std::string Kind; // "PEIM", "DXE driver", "firmware volume"
  std::string Guid; // the file's name; empty for a volume
  size_t Size = 0;
  std::string Depex;               // PEIM only
  std::optional<uint32_t> TeSaves; // PEIM in TE form: the bytes the TE header saves
  std::optional<size_t> Files;     // volume only
};

// `sio setup`: the page the driver registered, and the values Setup reads.
struct SetupPageReport {
  std::string Image;
  emulator::ProcessorMode Mode = emulator::ProcessorMode::Ia32;
  uint32_t Status = 0;
  hii::DecodedPage Page;
  std::vector<uint8_t> Values;
};

void PrintText(std::ostream& Out, const ImageCheckResult& Report);
Json ReportToJson(const ImageCheckResult& Report);
void PrintText(std::ostream& Out, const ImageConfigList& Report);
Json ReportToJson(const ImageConfigList& Report);
void PrintText(std::ostream& Out, const ImageConfigWritten& Report);
Json ReportToJson(const ImageConfigWritten& Report);
void PrintText(std::ostream& Out, const ImageConfigInf& Report);
Json ReportToJson(const ImageConfigInf& Report);
void PrintText(std::ostream& Out, const ImageExtracted& Report);
Json ReportToJson(const ImageExtracted& Report);

void PrintText(std::ostream& Out, const VarContentReport& Report);
Json ReportToJson(const VarContentReport& Report);
void PrintText(std::ostream& Out, const VarStoreReport& Report);
Json ReportToJson(const VarStoreReport& Report);
void PrintText(std::ostream& Out, const VarListReport& Report);
Json ReportToJson(const VarListReport& Report);

void PrintText(std::ostream& Out, const PackReport& Report);
Json ReportToJson(const PackReport& Report);

void PrintText(std::ostream& Out, const SetupPageReport& Report);
Json ReportToJson(const SetupPageReport& Report);

} // namespace siotool
