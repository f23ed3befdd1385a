#include "logic/InstallLogicRows.h"

#include "logic/ByteEpld.h"
#include "logic/SignatureEpld.h"
#include "logic/CycleRecordPld.h"
#include "logic/SerialEditPld.h"
#include "logic/GalIdString.h"
#include "logic/GalRowSerial.h"
#include "logic/JtagBlockCpld.h"
#include "logic/JtagEightBlock.h"
#include "logic/JtagFuseArray.h"
#include "logic/JtagIscCpld.h"
#include "logic/GalSerialAddress.h"
#include "logic/PalEmulation.h"
#include "logic/WordPld.h"

void InstallLogicAlgorithms() {
    InstallPalEmulation();
    InstallGalRowSerialRows();
    InstallGalIdStringRows();
    InstallJtagIscRows();
    InstallJtagFuseArrayRows();
    InstallJtagBlockRows();
    InstallJtagEightBlockRow();
    InstallGalSerialAddressRows();
    InstallCycleRecordRows();
    InstallWordPldRow();
    InstallEditModeRows();
    InstallByteEpldRows();
    InstallSignatureEpldRows();
}
