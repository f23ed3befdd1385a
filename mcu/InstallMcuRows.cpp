#include "mcu/InstallMcuRows.h"

#include "mcu/Mcu8051.h"
#include "mcu/Pic.h"

void InstallMcuAlgorithms() {
    InstallMcu8051Rows();
    InstallPicRows();
}
