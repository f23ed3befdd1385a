// Flash 8051s of the SST89 kind on the pin driver (row 118): a 4-bit mode
// code on P3.7, P3.6, P2.7, P2.6, a 10 us pulse on ALE/PROG and a ready line
// on P3.3; the user range plus block 1 at F000h-FFFEh. Variant 0 locks with a
// security byte at FFFFh, variant 1 programs the SFST[7:5] flags and has the
// re-map bits RB[1:0].
#pragma once
#include <cstdint>

#include "mcu/McuFrame.h"

constexpr uint32_t Variant118Count = 2;

// Variant 0's protection: 0 hard lock, 1 block-1 lock, 2 soft lock.
extern int ProtectOption;
// Indexes into SfstStepTable ("000", "100", "110", "101", "010", "001",
// "111") and RemapStepTable ("00", "01", "10", "11").
extern int SfstOption;
extern int RemapOption;
extern const uint8_t SfstStepTable[7];
extern const uint8_t RemapStepTable[4];

int ProgramRemapBits118();

void InstallSst89DialogLauncher(OptionDialogLauncher launcher);
void ResetSst89State();
