// SPDX-License-Identifier: BSD-2-Clause-Patent
#include "entry/SioBringUp.h"

#include "entry/SioBoardConfig.h"
#include "entry/SioInitScript.h"
#include "entry/SioReadyPpi.h"
#include "platform/PortIo.h"
#include "setup/SioApplySetup.h"
#include "sio/SioConfigPort.h"
#include "sio/SioDiscovery.h"

EFI_STATUS SioBringUp(const EFI_PEI_SERVICES** PeiServices) {
  const SioBoardConfig* Board = SioBoard();
  PortWrite16(SioPostCodePort, Board->PostCode);
  // A platform that opens LPC decoding elsewhere sets the address to 0.
  UINT32 DecodeAddress = Board->LpcDecodeAddress;
  if (DecodeAddress != 0) {
    PortWrite32(SioPciConfigAddressPort, DecodeAddress);
    PortWrite32(SioPciConfigDataPort, Board->LpcDecodeValue);
  }

  UINT16 IndexPort = SioFindBoardConfigPort(Board);
  if (IndexPort == 0) {
    return EFI_UNSUPPORTED;
  }

  SioEnterConfig(IndexPort);
  SioRunInitScript(IndexPort, Board);
  // The pass does without the settings: their failure is not the module's.
  (void)SioApplySetup(PeiServices, IndexPort);
  SioExitConfig(IndexPort);

  return (*PeiServices)->InstallPpi(PeiServices, &SioReadyPpiDescriptor);
}
