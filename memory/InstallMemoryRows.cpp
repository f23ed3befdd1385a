#include "memory/InstallMemoryRows.h"

#include "memory/Eprom.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
}
