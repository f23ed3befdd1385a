#include "memory/InstallMemoryRows.h"

#include "memory/Eprom.h"
#include "memory/PinDriven.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
    InstallPinDrivenRows();
}
