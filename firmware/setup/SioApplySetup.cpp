// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "setup/SioApplySetup.h"

#include "platform/PortIo.h"
#include "setup/SioSetupData.h"
#include "sio/SioConfigPort.h"

namespace {

// The masks a setup writer is given name exactly the mode bits.
static_assert(SIO_F81216A_LD8_MODE_MASK_PARAM2_0 == static_cast<UINT8>(~SioLd8ModeBit2));
static_assert(SIO_F81216A_LD8_MODE_MASK_PARAM2_1 == static_cast<UINT8>(~SioLd8ModeBit1));
static_assert(SIO_F81216A_LD8_MODE_MASK_PARAM2_ANY ==
              static_cast<UINT8>(~(SioLd8ModeBit1 | SioLd8ModeBit2)));

// Gives the mask register 0xF0 is ANDed with: Param[2] picks which bits are
// cleared; none is ever set.
//
// @param[in] Param2  the entry's Param[2].
//
// @return the mask clearing bit 2 (Param2 0x00), bit 1 (0x01) or both
//         (any other value).
UINT8 SioLd8ModeMask(UINT8 Param2) {
  if (Param2 == 0x00) {
    return SIO_F81216A_LD8_MODE_MASK_PARAM2_0; // bit 2
  }
  if (Param2 == 0x01) {
    return SIO_F81216A_LD8_MODE_MASK_PARAM2_1; // bit 1
  }
  return SIO_F81216A_LD8_MODE_MASK_PARAM2_ANY; // bits 1 and 2
}

// Logical device 8 is selected again before each of its three register
// groups (activate, mode, value). The selection is the one piece of chip
// state every group depends on, and each group sets it itself instead of
// trusting what ran before: the register script ends with another device
// selected, several entries may each program the device, and a group that
// selects its own device is correct whatever precedes it. The access sequence
// is then the same for every group and every entry, as the board model and
// the golden traces hold it; the cost is two port writes per group.
//
// @param[in] IndexPort  the chip's index port, in configuration mode.
// @param[in] Param0     the entry's Param[0], written to register 0xF1.
// @param[in] Param2     the entry's Param[2], which picks the mode bits
//                       cleared (SioLd8ModeMask).
void SioProgramLd8(UINT16 IndexPort, UINT8 Param0, UINT8 Param2) {
  SioSelectDevice(IndexPort, SioLd8);
  SioWriteReg(IndexPort, SioRegActivate, 0x01);

  // The index still points at 0xF0 after the read: the masked byte goes
  // straight back to the data port.
  SioSelectDevice(IndexPort, SioLd8);
  UINT8 Mode = SioReadReg(IndexPort, SioLd8RegMode);
  PortWrite8(SioDataPort(IndexPort), static_cast<UINT8>(Mode & SioLd8ModeMask(Param2)));

  SioSelectDevice(IndexPort, SioLd8);
  SioWriteReg(IndexPort, SioLd8RegValue, Param0);
}

} // namespace

EFI_STATUS SioApplySetup(const EFI_PEI_SERVICES** PeiServices, UINT16 IndexPort) {
  VOID* Ppi = nullptr;
  EFI_STATUS Status =
      (*PeiServices)->LocatePpi(PeiServices, &gEfiPeiReadOnlyVariable2PpiGuid, 0, nullptr, &Ppi);
  if (EfiError(Status)) {
    return Status;
  }
  // A producer that reports success without an interface is treated as absent.
  if (Ppi == nullptr) {
    return EFI_NOT_FOUND;
  }
  auto* Variable = static_cast<const EFI_PEI_READ_ONLY_VARIABLE2_PPI*>(Ppi);

  UINT8 Data[SioSetupDataSize];
  UINTN DataSize = SioSetupDataSize;
  Status = Variable->GetVariable(Variable, SioSetupVariableName, &SioSetupVendorGuid, nullptr,
                                 &DataSize, Data);
  if (EfiError(Status)) {
    return Status;
  }
  // A producer that reports success with more data than the buffer holds has
  // not said which bytes it wrote: none of them is trusted.
  if (DataSize > SioSetupDataSize) {
    return EFI_BUFFER_TOO_SMALL;
  }

  // Only bytes the variable actually supplied may steer a port access: an
  // entry reaching past the returned size is passed over.
  for (UINTN Offset = 0; Offset + SioSetupEntryReach <= DataSize;
       Offset += sizeof(SioDeviceEntry)) {
    const UINT8* Entry = Data + Offset;
    if (Entry[SioSetupKindOffset] == SioKindLd8 &&
        Entry[SioSetupQualifierOffset] == SIO_F81216A_ENTRY_QUALIFIER_LD8 &&
        Entry[SioSetupEnabledOffset] == SIO_F81216A_ENTRY_ENABLED) {
      SioProgramLd8(IndexPort, Entry[SioSetupParam0Offset], Entry[SioSetupParam2Offset]);
    }
  }
  return EFI_SUCCESS;
}
