// Puts the entries of the programmable-logic modules into their rows of the
// algorithm table and the PAL-emulation reset into the device selection.
// Called after ResetAlgorithmTable() and ResetRowHooks().
#pragma once
#include <cstddef>
#include <cstdint>

// The entries of one algorithm row; options nullptr leaves the row's own.
struct LogicRowEntries {
    uint32_t row;
    int (*read)(int mode);
    int (*program)();
    int (*erase)();
    int (*secure)();
    int (*options)();
};
void InstallLogicRows(const LogicRowEntries* rows, size_t count);
template <size_t N> void InstallLogicRows(const LogicRowEntries (&rows)[N]) { InstallLogicRows(rows, N); }

void InstallLogicAlgorithms();
