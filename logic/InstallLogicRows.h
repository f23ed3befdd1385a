// Puts the rows of every programmable-logic family into the algorithm table
// and the PAL-emulation reset into the device selection: each family file
// registers its table (ROW_FAMILY in engine/RowDef.h) and they install in
// the order of their ranks. Called after ResetAlgorithmTable() and
// ResetRowHooks().
#pragma once

void InstallLogicAlgorithms();
