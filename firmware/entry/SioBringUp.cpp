#include "entry/SioBringUp.h"

#include "entry/SioInitScript.h"
#include "entry/SioReadyPpi.h"
#include "platform/PortIo.h"
#include "setup/SioApplySetup.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDeviceTable.h"
#include "sio/SioDiscovery.h"

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
