#include "memory/InstallMemoryRows.h"

#include "memory/Eprom.h"
#include "memory/JedecFlash.h"
#include "memory/Nand.h"
#include "memory/SerialEeprom.h"
#include "memory/PinDriven.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
    InstallJedecFlashRows();
    InstallSerialEepromRows();
    InstallPinDrivenRows();
    InstallNandRows();
}
