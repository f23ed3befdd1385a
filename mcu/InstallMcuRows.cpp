#include "mcu/InstallMcuRows.h"

#include "mcu/Mcu8051.h"

void InstallMcuAlgorithms() { InstallMcu8051Rows(); }
