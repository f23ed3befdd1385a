#include "mcu/InstallMcuRows.h"

#include "engine/RowDef.h"

void InstallMcuAlgorithms() { InstallRowFamilies(RowGroup::Mcu); }
