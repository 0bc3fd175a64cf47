#include "entry/SioBringUp.h"

#include "entry/SioInitScript.h"
#include "entry/SioReadyPpi.h"
#include "platform/PortIo.h"
#include "setup/SioApplySetup.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"
#include "sio/SioDiscovery.h"

void SioRunInitScript(UINT16 P) {
  // Played by its length, known at build time: no end-pair test per pair.
  static_assert(SioInitScriptLength > 0);
  const SioRegisterWrite* Write = SioInitScript;
  do {
    // Register and value in one 16-bit load; IA-32 is little-endian, so the
    // register byte is the low one.
    UINT16 Pair;
    __builtin_memcpy(&Pair, Write, sizeof Pair);
    SioWriteReg(P, static_cast<UINT8>(Pair), static_cast<UINT8>(Pair >> 8));
  } while (++Write != SioInitScript + SioInitScriptLength);
}

EFI_STATUS SioBringUp(const EFI_PEI_SERVICES** PeiServices) {
  PortWrite16(SioPostCodePort, SioPostCode);
  PortWrite32(SioPciConfigAddressPort, SioLpcBridgeDecodeAddress);
  PortWrite32(SioPciConfigDataPort, SioLpcBridgeDecodeValue);

  UINT16 P = SioFindConfigPort(SioDeviceTable);
  if (P == 0) {
    return EFI_UNSUPPORTED;
  }

  SioEnterConfig(P);
  SioRunInitScript(P);
  // The pass does without the settings: their failure is not the module's.
  (void)SioApplySetup(PeiServices, P);
  SioExitConfig(P);

  return (*PeiServices)->InstallPpi(PeiServices, &SioReadyPpiDescriptor);
}
