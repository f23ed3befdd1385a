// Puts the rows of every microcontroller family into the algorithm table:
// each family file registers its table (ROW_FAMILY in engine/RowDef.h) and
// they install in the order of their ranks. Called after
// ResetAlgorithmTable().
#pragma once

void InstallMcuAlgorithms();
