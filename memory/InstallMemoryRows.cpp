#include "memory/InstallMemoryRows.h"

#include "memory/Eprom.h"
#include "memory/JedecFlash.h"

void InstallMemoryAlgorithms() {
    InstallByteEpromRows();
    InstallWordEpromRows();
    InstallCtrlBusEpromRows();
    InstallJedecFlashRows();
}
