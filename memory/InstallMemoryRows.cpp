#include "memory/InstallMemoryRows.h"

#include "engine/RowDef.h"

void InstallMemoryAlgorithms() { InstallRowFamilies(RowGroup::Memory); }
