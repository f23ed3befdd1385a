#include "logic/InstallLogicRows.h"

#include "logic/GalRowSerial.h"
#include "logic/JtagBlockCpld.h"
#include "logic/JtagEightBlock.h"
#include "logic/JtagFuseArray.h"
#include "logic/JtagIscCpld.h"
#include "logic/PalEmulation.h"

void InstallLogicAlgorithms() {
    InstallPalEmulation();
    InstallGalRowSerialRows();
    InstallJtagIscRows();
    InstallJtagFuseArrayRows();
    InstallJtagBlockRows();
    InstallJtagEightBlockRow();
}
