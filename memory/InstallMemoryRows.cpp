#include "memory/InstallMemoryRows.h"

#include "memory/Eprom.h"
#include "memory/SerialEeprom.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
    InstallSerialEepromRows();
}
