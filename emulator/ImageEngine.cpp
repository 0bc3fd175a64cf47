// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "emulator/ImageEngine.h"
#include "common/Hex.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <span>

#include <unicorn/unicorn.h>

#include "emulator/ChildProcess.h"
#include "emulator/GuestLayout.h"
#include "emulator/GuestMemory.h"
#include "emulator/PeLoader.h"
#include "emulator/PeiServiceTraps.h"
#include "emulator/Registers.h"
#include "pi/Status.h"

namespace emulator {
namespace {

std::string Hex8(uint64_t Value) {
  return sio::Hex(Value, 8);
}

// A callee returns with these registers as it received them: EBX, ESI, EDI
// and EBP under cdecl; RBX, RBP, RDI, RSI and R12 to R15 under the x64
// convention. Each starts the pass with a value of its own, in 64 bits with
// every half distinct, so restoring only the low half is caught too.
struct CalleeSaved {
  int Reg;
  const char* Name;
  uint64_t Value;
};
constexpr CalleeSaved kIa32CalleeSaved[] = {{UC_X86_REG_EBX, "EBX", 0xB0B1B2B3},
                                            {UC_X86_REG_ESI, "ESI", 0x50515253},
                                            {UC_X86_REG_EDI, "EDI", 0xD0D1D2D3},
                                            {UC_X86_REG_EBP, "EBP", 0xE0E1E2E3}};
constexpr CalleeSaved kX64CalleeSaved[] = {
    {UC_X86_REG_RBX, "RBX", 0xB4B5B6B7B0B1B2B3}, {UC_X86_REG_RBP, "RBP", 0xE4E5E6E7E0E1E2E3},
    {UC_X86_REG_RDI, "RDI", 0xD4D5D6D7D0D1D2D3}, {UC_X86_REG_RSI, "RSI", 0x5455565750515253},
    {UC_X86_REG_R12, "R12", 0x1C1D1E1F12131415}, {UC_X86_REG_R13, "R13", 0x2C2D2E2F13141516},
    {UC_X86_REG_R14, "R14", 0x3C3D3E3F14151617}, {UC_X86_REG_R15, "R15", 0x4C4D4E4F15161718}};

// The x64 convention keeps XMM6 to XMM15 for the caller as well: a function
// compiled for another convention (System V, which saves none of them, nor
// RDI or RSI) shows here. Each starts with two halves of its own.
constexpr int kX64CalleeSavedXmm[] = {
    UC_X86_REG_XMM6,  UC_X86_REG_XMM7,  UC_X86_REG_XMM8,  UC_X86_REG_XMM9,  UC_X86_REG_XMM10,
    UC_X86_REG_XMM11, UC_X86_REG_XMM12, UC_X86_REG_XMM13, UC_X86_REG_XMM14, UC_X86_REG_XMM15};
struct Xmm {
  uint64_t Low = 0, High = 0;
  bool operator==(const Xmm&) const = default;
};
constexpr Xmm XmmStart(size_t Index) {
  return {0xA0A1A2A3A4A5A6A0ull + Index, 0xC0C1C2C3C4C5C6C0ull + Index};
}
std::string XmmText(const Xmm& Value) {
  return sio::Hex(Value.High, 16) + "_" + sio::Hex(Value.Low, 16).substr(2);
}

std::span<const CalleeSaved> CalleeSavedRegisters(ProcessorMode Mode) {
  if (Mode == ProcessorMode::X64)
    return kX64CalleeSaved;
  return kIa32CalleeSaved;
}

// The bytes the PEI Foundation's call leaves above the entry's stack pointer:
// cdecl's return address and two arguments (and padding to 16), or x64's
// return address and 32-byte shadow space. The x64 call leaves the stack
// pointer 8 bytes past a multiple of 16, as a call from an aligned stack does.
constexpr uint32_t EntryFrameSize(ProcessorMode Mode) {
  return Mode == ProcessorMode::X64 ? 0x38 : 16;
}
static_assert(EntryFrameSize(ProcessorMode::X64) % 16 == 8);

struct UcClose {
  void operator()(uc_engine* Uc) const { uc_close(Uc); }
};

// One emulated processor, in the image's mode, with the image, the stack and
// the firmware's service pages mapped (the PEI Foundation's unless another
// set of traps is given), its port instructions wired to the board.
class Machine {
public:
  Machine(board::Board& Target, const ImageRunOptions& Options, TrapsFactory Traps = {})
      : Target_(Target), Options_(Options), StackTop_(kStackBottom + Options.StackSize),
        MakeTraps_(std::move(Traps)) {
    if (!MakeTraps_) {
      MakeTraps_ = [this](uc_engine* Uc, ProcessorMode Mode, GuestMemory& Memory) {
        return std::make_unique<PeiServiceTraps>(Uc, Mode, Target_, Memory);
      };
    }
  }

  ImageRunReport Run(const std::vector<uint8_t>& File);

  // Run in two steps, for an engine that serves pass after pass: Prepare
  // loads, maps and hooks once; Pass calls the entry point on the board bound
  // at construction (which may have been replaced in place since), then puts
  // registers, stack and counters back as Prepare left them.
  sio::Result<void> Prepare(const std::vector<uint8_t>& File);
  ImageRunReport Pass();
  // The PEI Foundation's traps, which an engine without another set has.
  PeiServiceTraps& Traps() { return static_cast<PeiServiceTraps&>(*Traps_); }

private:
  void Restore();
  ImageRunReport Aborted(std::string Fault);
  sio::Result<void> Map(const LoadedImage& Image);
  sio::Result<void> AddHooks();
  void Fail(std::string Fault) {
    if (Fault_.empty())
      Fault_ = std::move(Fault);
    uc_emu_stop(Uc_.get());
  }
  uint64_t Ip() const { return ReadRegister(Uc_.get(), Registers(Mode_).Ip); }
  std::string AtIp() const { return std::string(Registers(Mode_).IpName) + " " + Hex8(Ip()); }
  std::string Region(uint64_t Address) const;

  static void OnCode(uc_engine*, uint64_t Address, uint32_t, void* Self);
  static bool OnBadAccess(uc_engine*, uc_mem_type Type, uint64_t Address, int Size, int64_t,
                          void* Self);
  static void OnStackWrite(uc_engine*, uc_mem_type, uint64_t Address, int, int64_t, void* Self);
  static uint32_t OnIn(uc_engine*, uint32_t Port, int Size, void* Self);
  static void OnOut(uc_engine*, uint32_t Port, int Size, uint32_t Value, void* Self);
  static void OnInterrupt(uc_engine*, uint32_t Number, void* Self);
  static bool OnInvalidInstruction(uc_engine*, void* Self);

  board::Board& Target_;
  const ImageRunOptions& Options_;
  ProcessorMode Mode_ = ProcessorMode::Ia32;
  uint32_t StackTop_;
  std::unique_ptr<uc_engine, UcClose> Uc_;
  std::unique_ptr<GuestMemory> Memory_;
  TrapsFactory MakeTraps_;
  std::unique_ptr<ServiceTraps> Traps_;
  uint32_t ImageBase_ = 0;
  uint32_t ImageEnd_ = 0;
  uint64_t Instructions_ = 0;
  uint32_t LowestStackWrite_ = 0;
  std::string Fault_;
  uint32_t Entry_ = 0;
  uint32_t LoadAddress_ = 0;
  std::unique_ptr<uc_context, decltype(&uc_context_free)> Fresh_{nullptr, &uc_context_free};
};

std::string Machine::Region(uint64_t Address) const {
  if (Address >= ImageBase_ && Address < ImageEnd_)
    return "image";
  if (Address < kPageSize)
    return "page 0";
  if (Address >= kStackGuardPage && Address < kStackBottom)
    return "stack guard page";
  if (Address >= kStackBottom && Address < StackTop_)
    return "stack";
  if (Address >= kTrapPage && Address < kTrapPage + kPageSize)
    return "service trap page";
  if (const char* Name = Traps_ ? Traps_->RegionName(Address) : nullptr)
    return Name;
  return "unmapped memory";
}

void Machine::OnCode(uc_engine*, uint64_t Address, uint32_t, void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  if (Address == kReturnTrap) {
    // The pass has returned; the run stops here, before the trap's halt.
    uc_emu_stop(M.Uc_.get());
    return;
  }
  if (++M.Instructions_ > M.Options_.MaxInstructions) {
    M.Instructions_ = M.Options_.MaxInstructions;
    M.Fail("runaway: " + std::to_string(M.Options_.MaxInstructions) +
           " instructions executed, still running at " + Hex8(Address));
    return;
  }
  if (Address >= kTrapPage && Address < kTrapPage + kPageSize) {
    if (auto Served = M.Traps_->Serve(Address); !Served)
      M.Fail(Served.Message());
  }
}

bool Machine::OnBadAccess(uc_engine*, uc_mem_type Type, uint64_t Address, int Size, int64_t,
                          void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  std::string Where = M.Region(Address);
  std::string Access;
  switch (Type) {
  case UC_MEM_WRITE_PROT:
  case UC_MEM_WRITE_UNMAPPED:
    Access = Where == "stack guard page" ? "stack overflow: write to the stack guard page"
                                         : "write to " + Where;
    break;
  case UC_MEM_READ_PROT:
  case UC_MEM_READ_UNMAPPED:
    Access = "read from " + Where;
    break;
  default:
    Access = "execution in " + Where;
    break;
  }
  M.Fail(Access + " at " + Hex8(Address) + " (" + std::to_string(Size) + " bytes, " + M.AtIp() +
         ")");
  return false;
}

void Machine::OnStackWrite(uc_engine*, uc_mem_type, uint64_t Address, int, int64_t, void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  if (Address < M.LowestStackWrite_)
    M.LowestStackWrite_ = static_cast<uint32_t>(Address);
}

uint32_t Machine::OnIn(uc_engine*, uint32_t Port, int Size, void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  return M.Target_.Bus().Read(static_cast<uint16_t>(Port), static_cast<uint8_t>(Size));
}

void Machine::OnOut(uc_engine*, uint32_t Port, int Size, uint32_t Value, void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  auto Width = static_cast<uint8_t>(Size);
  M.Target_.Bus().Write(static_cast<uint16_t>(Port), Width, Value & board::FloatingValue(Width));
}

void Machine::OnInterrupt(uc_engine*, uint32_t Number, void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  M.Fail("interrupt " + std::to_string(Number) + " raised at " + M.AtIp());
}

bool Machine::OnInvalidInstruction(uc_engine*, void* Self) {
  auto& M = *static_cast<Machine*>(Self);
  M.Fail("invalid instruction at " + Hex8(M.Ip()));
  return false;
}

sio::Result<void> Machine::Map(const LoadedImage& Image) {
  // Unicorn starts a 64-bit processor in long mode with flat addressing: no
  // descriptor tables or page tables to build for either mode.
  Mode_ = Image.Mode;
  uc_engine* Raw = nullptr;
  if (uc_open(UC_ARCH_X86, Mode_ == ProcessorMode::X64 ? UC_MODE_64 : UC_MODE_32, &Raw) !=
      UC_ERR_OK)
    return sio::Fail(sio::ErrorKind::Io, "cannot start the emulator");
  Uc_.reset(Raw);
  // No exit addresses: with an `until` address, Unicorn translates a fresh
  // exit block there on every start and never frees the old ones. They piled
  // up on the trap page: memory grew with every pass, and each later start,
  // which walks that page's blocks, took longer. The code hook ends the run.
  if (uc_ctl_exits_enable(Raw) != UC_ERR_OK)
    return sio::Fail(sio::ErrorKind::Io, "cannot set up the emulator's exits");
  Memory_ = std::make_unique<GuestMemory>(Raw, kStackBottom, StackTop_);
  Traps_ = MakeTraps_(Raw, Mode_, *Memory_);
  if (auto Built = Traps_->Build(); !Built)
    return Built.Failure();
  ImageBase_ = Image.Base;
  ImageEnd_ = Image.Base + static_cast<uint32_t>(Image.Memory.size());
  // The pages the image touches: one placed in place from a volume starts
  // wherever its file lies, not on a page.
  const uint32_t FirstPage = Image.Base / kPageSize * kPageSize;
  const uint64_t Mapped = (uint64_t(ImageEnd_) - FirstPage + kPageSize - 1) / kPageSize * kPageSize;
  if (uc_mem_map(Raw, kStackBottom, Options_.StackSize, UC_PROT_READ | UC_PROT_WRITE) !=
          UC_ERR_OK ||
      uc_mem_map(Raw, FirstPage, Mapped, UC_PROT_READ | UC_PROT_EXEC) != UC_ERR_OK ||
      uc_mem_write(Raw, Image.Base, Image.Memory.data(), Image.Memory.size()) != UC_ERR_OK) {
    return sio::Fail(sio::ErrorKind::Io, "cannot map the image at " + Hex8(Image.Base));
  }
  return {};
}

sio::Result<void> Machine::AddHooks() {
  uc_engine* Uc = Uc_.get();
  uc_hook Hook;
  bool Ok = uc_hook_add(Uc, &Hook, UC_HOOK_CODE, reinterpret_cast<void*>(&OnCode), this, 1, 0) ==
                UC_ERR_OK &&
            uc_hook_add(Uc, &Hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(&OnBadAccess), this,
                        1, 0) == UC_ERR_OK &&
            uc_hook_add(Uc, &Hook, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(&OnStackWrite), this,
                        kStackBottom, StackTop_ - 1) == UC_ERR_OK &&
            uc_hook_add(Uc, &Hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnIn), this, 1, 0,
                        UC_X86_INS_IN) == UC_ERR_OK &&
            uc_hook_add(Uc, &Hook, UC_HOOK_INSN, reinterpret_cast<void*>(&OnOut), this, 1, 0,
                        UC_X86_INS_OUT) == UC_ERR_OK &&
            uc_hook_add(Uc, &Hook, UC_HOOK_INTR, reinterpret_cast<void*>(&OnInterrupt), this, 1,
                        0) == UC_ERR_OK &&
            uc_hook_add(Uc, &Hook, UC_HOOK_INSN_INVALID,
                        reinterpret_cast<void*>(&OnInvalidInstruction), this, 1, 0) == UC_ERR_OK;
  if (!Ok)
    return sio::Fail(sio::ErrorKind::Io, "cannot hook the emulator");
  return {};
}

ImageRunReport Machine::Aborted(std::string Fault) {
  ImageRunReport Report;
  Report.Fault = std::move(Fault);
  Report.Instructions = Instructions_;
  Report.LoadAddress = LoadAddress_;
  Report.Mode = Mode_;
  Report.Result = Target_.Result(kAbortedStatus);
  return Report;
}

sio::Result<void> Machine::Prepare(const std::vector<uint8_t>& File) {
  if (Options_.StackSize == 0 || Options_.StackSize % kPageSize != 0 ||
      Options_.StackSize > kLowestImageAddress - kStackBottom) {
    return sio::Fail("stack size " + std::to_string(Options_.StackSize) +
                     " is not a whole number of pages between 4 KiB and " +
                     std::to_string(kLowestImageAddress - kStackBottom) + " bytes");
  }
  auto Loaded = LoadPeImage(File, Options_.LoadAddress);
  if (!Loaded)
    return Loaded.Failure();
  if (auto Mapped = Map(*Loaded); !Mapped)
    return Mapped;
  if (auto Hooked = AddHooks(); !Hooked)
    return Hooked;
  Entry_ = Loaded->Entry;
  LoadAddress_ = Loaded->Base;
  uc_context* Context = nullptr;
  if (uc_context_alloc(Uc_.get(), &Context) != UC_ERR_OK)
    return sio::Fail(sio::ErrorKind::Io, "cannot save the processor state");
  Fresh_.reset(Context);
  if (uc_context_save(Uc_.get(), Context) != UC_ERR_OK)
    return sio::Fail(sio::ErrorKind::Io, "cannot save the processor state");
  return {};
}

void Machine::Restore() {
  uc_context_restore(Uc_.get(), Fresh_.get());
  // The stack the pass wrote, itself or through a service, goes back to the
  // zeros a new engine starts with.
  uint32_t Lowest = std::min(LowestStackWrite_, Memory_->LowestWrite());
  if (Lowest < StackTop_) {
    std::vector<uint8_t> Zeros(StackTop_ - Lowest, 0);
    uc_mem_write(Uc_.get(), Lowest, Zeros.data(), Zeros.size());
  }
  Memory_->ForgetWrites();
  Instructions_ = 0;
  Fault_.clear();
}

ImageRunReport Machine::Run(const std::vector<uint8_t>& File) {
  if (auto Prepared = Prepare(File); !Prepared)
    return Aborted(Prepared.Message());
  return Pass();
}

ImageRunReport Machine::Pass() {
  // The firmware's call of the entry point, SioEntryPoint(FileHandle,
  // PeiServices) or a driver's (ImageHandle, SystemTable), returning to the
  // return trap; cdecl passes both on the stack, x64 in RCX and RDX.
  uc_engine* Uc = Uc_.get();
  const RegisterNames R = Registers(Mode_);
  const uint32_t Width = PointerSize(Mode_);
  const uint64_t EntrySp = StackTop_ - EntryFrameSize(Mode_);
  const auto [First, Second] = Traps_->EntryArguments();
  Memory_->WriteWord(EntrySp, kReturnTrap, Width);
  if (Mode_ == ProcessorMode::X64) {
    WriteRegister(Uc, UC_X86_REG_RCX, First);
    WriteRegister(Uc, UC_X86_REG_RDX, Second);
  } else {
    Memory_->WriteWord(EntrySp + 4, First, Width);
    Memory_->WriteWord(EntrySp + 8, Second, Width);
  }
  WriteRegister(Uc, R.Sp, EntrySp);
  for (const auto& Saved : CalleeSavedRegisters(Mode_))
    WriteRegister(Uc, Saved.Reg, Saved.Value);
  if (Mode_ == ProcessorMode::X64) {
    for (size_t I = 0; I < std::size(kX64CalleeSavedXmm); ++I) {
      Xmm Start = XmmStart(I);
      uc_reg_write(Uc, kX64CalleeSavedXmm[I], &Start);
    }
  }
  LowestStackWrite_ = static_cast<uint32_t>(EntrySp);

  // The `until` argument is ignored (the engine's exit list is on and
  // empty): the code hook stops the run at the return trap.
  uc_err Error = uc_emu_start(Uc, Entry_, 0, Options_.TimeoutMicroseconds, 0);
  const uint64_t Ax = ReadRegister(Uc, R.Ax);
  const uint64_t Sp = ReadRegister(Uc, R.Sp);
  if (Fault_.empty() && Error != UC_ERR_OK) {
    Fault_ = std::string("emulator stopped: ") + uc_strerror(Error) + " at " + AtIp();
  }
  if (Fault_.empty() && Ip() != kReturnTrap) {
    Fault_ = "stopped at " + Hex8(Ip()) + " without returning (halt or timeout)";
  }
  if (Fault_.empty() && Sp != EntrySp + Width) {
    Fault_ = std::string("returned with ") + R.SpName + " " + Hex8(Sp) + ", expected " +
             Hex8(EntrySp + Width) + " (stack unbalanced)";
  }
  // A 64-bit EFI_STATUS keeps its error in bit 63: a status with any of bits
  // 31 to 62 set (an IA-32 error code left in EAX, say) is no status the PEI
  // Foundation would read as the module meant it.
  if (Fault_.empty() && Mode_ == ProcessorMode::X64 && (Ax & ~pi::kEfiErrorBit64) > 0x7FFFFFFFu) {
    Fault_ = "returned RAX " + Hex8(Ax) + ", which is no 64-bit status (bits 31 to 62 set)";
  }
  for (const auto& Saved : CalleeSavedRegisters(Mode_)) {
    const uint64_t Value = ReadRegister(Uc, Saved.Reg);
    if (Fault_.empty() && Value != Saved.Value) {
      Fault_ = std::string("returned with ") + Saved.Name + " " + Hex8(Value) + ", expected " +
               Hex8(Saved.Value) + " (a callee-saved register not restored)";
    }
  }
  for (size_t I = 0; Mode_ == ProcessorMode::X64 && I < std::size(kX64CalleeSavedXmm); ++I) {
    Xmm Value;
    uc_reg_read(Uc, kX64CalleeSavedXmm[I], &Value);
    if (Fault_.empty() && Value != XmmStart(I)) {
      Fault_ = "returned with XMM" + std::to_string(6 + I) + " " + XmmText(Value) + ", expected " +
               XmmText(XmmStart(I)) + " (a callee-saved register not restored)";
    }
  }
  ImageRunReport Report;
  if (!Fault_.empty()) {
    Report = Aborted(Fault_);
  } else {
    Report.Completed = true;
    Report.Instructions = Instructions_;
    Report.LoadAddress = LoadAddress_;
    Report.Result = Target_.Result(Mode_ == ProcessorMode::X64 ? pi::NarrowStatus(Ax)
                                                               : static_cast<uint32_t>(Ax));
  }
  Report.Mode = Mode_;
  Report.StackHighWater = static_cast<uint32_t>(EntrySp) - LowestStackWrite_;
  Restore();
  return Report;
}

} // namespace

struct ImageEngine::Impl {
  Impl(std::vector<uint8_t> File, const ImageRunOptions& Run)
      : Image(std::move(File)), Options(Run) {
    Target.emplace(board::Scenario{});
    M = std::make_unique<Machine>(*Target, Options);
    if (auto Prepared = M->Prepare(Image); !Prepared)
      Error = Prepared.Message();
  }
  std::vector<uint8_t> Image;
  ImageRunOptions Options;
  // Each pass resets the board in place, at the address the machine and its
  // service traps were bound to.
  std::optional<board::Board> Target;
  std::unique_ptr<Machine> M;
  std::string Error;
};

ImageEngine::ImageEngine(std::vector<uint8_t> Image, const ImageRunOptions& Options)
    : Impl_(std::make_unique<Impl>(std::move(Image), Options)) {}

ImageEngine::~ImageEngine() = default;

const std::string& ImageEngine::Error() const {
  return Impl_->Error;
}

ImageRunReport ImageEngine::Run(const board::Scenario& Scenario) {
  // Reset rather than rebuilt: the board keeps its storage from pass to pass,
  // so a pass leaves nothing allocated that the next one frees.
  Impl_->Target->Reset(Scenario);
  if (!Impl_->Error.empty()) {
    ImageRunReport Report;
    Report.Fault = Impl_->Error;
    Report.Result = Impl_->Target->Result(kAbortedStatus);
    return Report;
  }
  Impl_->M->Traps().PreinstallVariablePpi();
  return Impl_->M->Pass();
}

ImageRunReport RunImagePass(const std::vector<uint8_t>& Image, const board::Scenario& Scenario,
                            const ImageRunOptions& Options) {
  return RunImageWith(Image, Scenario, {}, Options);
}

ImageRunReport RunImageWith(const std::vector<uint8_t>& Image, const board::Scenario& Scenario,
                            const TrapsFactory& Traps, const ImageRunOptions& Options) {
  // The rehearsal runs in a child process: whatever its services record
  // there is the child's, and the run proper starts from the same state.
  if (Options.Rehearse) {
    auto Rehearsal = RunInChild([&] {
      board::Board Target(Scenario);
      Machine(Target, Options, Traps).Run(Image);
    });
    if (!Rehearsal) {
      board::Board Untouched(Scenario);
      ImageRunReport Report;
      Report.Fault = "the CPU emulator failed on this image: " + Rehearsal.Message();
      Report.Result = Untouched.Result(kAbortedStatus);
      return Report;
    }
  }
  board::Board Target(Scenario);
  Machine M(Target, Options, Traps);
  return M.Run(Image);
}

} // namespace emulator
