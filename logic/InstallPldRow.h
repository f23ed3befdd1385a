// Puts a PLD module's four entries into its row of the algorithm table: a
// one-row table for InstallLogicRows, the one place rows are written.
#pragma once
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "logic/InstallLogicRows.h"

inline void InstallPldRow(uint32_t row, AlgReadFn read, AlgOperationFn program, AlgOperationFn erase,
                          AlgOperationFn secure) {
    const LogicRowEntries entry[] = {{row, read, program, erase, secure, nullptr}};
    InstallLogicRows(entry);
}
