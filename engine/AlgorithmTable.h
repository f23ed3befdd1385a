// The algorithm table: one row per algorithm number, through which every
// operation reaches the current device's algorithm (row CurrentAlgorithm).
//
// Rows keep their numbers: the device library stores them. The table starts
// with the default entries in every row; each family declares its rows in one
// table of RowDefs and registers it with ROW_FAMILY (engine/RowDef.h).
// Callers recognise an empty entry by comparing it with AlgNoOperation /
// AlgNoRead.
#pragma once
#include <cstdint>

#include "engine/Port.h" // NoDelayMs, NoDelayUs, NoDelayShortUs

// Entry results of Read, Program, Erase and Secure: 1 ok, -1 or -2 failed,
// 3 stopped by the user. Identify and Options results are ignored.
using AlgOperationFn = int (*)();
using AlgReadFn = int (*)(int mode); // mode: 0 blank, 1/3 verify, 2 read, 4 compare, 6 after secure

struct AlgorithmEntry {
    int8_t ParameterGroup;        // row of ChangeAlgorithmItemTable; 99 none
    int8_t InsertionPinAllowance; // pins the insertion check subtracts
    uint16_t Reserved;            // 0, read by nobody
    AlgOperationFn Identify;      // fills ChipMakerId, ChipDeviceId
    AlgReadFn Read;
    AlgOperationFn Program;
    AlgOperationFn Erase;
    AlgOperationFn Secure;
    AlgOperationFn Options;
};

constexpr uint32_t AlgorithmRowCount = 324;
extern AlgorithmEntry AlgorithmTable[AlgorithmRowCount];

// The default entries: both return 0.
int AlgNoOperation();
int AlgNoRead(int mode);

// The ParameterGroup and InsertionPinAllowance a row is built with.
int8_t DefaultParameterGroup(uint32_t row);
int8_t DefaultInsertionPinAllowance(uint32_t row);

// True for the rows that have no algorithm at all (every entry a default).
bool IsEmptyAlgorithmRow(uint32_t row);

// The row of a number, or nullptr when it is outside the table.
AlgorithmEntry* AlgorithmRow(uint32_t row);

// Every row back to its group, pin allowance and default entries; forgets
// the installed row declarations.
void ResetAlgorithmTable();
