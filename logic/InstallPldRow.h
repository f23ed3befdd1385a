// Puts a PLD module's four entries into its row of the algorithm table.
#pragma once
#include <cstdint>

#include "engine/AlgorithmTable.h"

inline void InstallPldRow(uint32_t row, AlgReadFn read, AlgOperationFn program, AlgOperationFn erase,
                          AlgOperationFn secure) {
    if (AlgorithmEntry* e = AlgorithmRow(row)) {
        e->Read = read;
        e->Program = program;
        e->Erase = erase;
        e->Secure = secure;
    }
}
