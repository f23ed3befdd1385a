#include "logic/InstallLogicRows.h"

#include "engine/RowDef.h"

void InstallLogicAlgorithms() { InstallRowFamilies(RowGroup::Logic); }
