#include "memory/InstallMemoryRows.h"

#include "memory/Eprom.h"
#include "memory/JedecFlash.h"
#include "memory/SerialEeprom.h"
#include "memory/SerialSpiPinout.h"
#include "memory/SerialTwoClock.h"
#include "memory/PinDriven.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
    InstallJedecFlashRows();
    InstallSerialEepromRows();
    InstallSerialSpiPinoutRows();
    InstallSerialTwoClockRows();
    InstallPinDrivenRows();
}
