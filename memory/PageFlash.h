// Rows 1 and 5: page-write flash with JEDEC commands at 5555h/2AAAh, driven
// through the command queue of their logic image (the programmer plays a
// whole page within the chip's load window), software data protection on
// the parts that have it, and the boot-block lockout of the option dialog.
#pragma once
#include <cstdint>

// "Protect" of the option dialog: 0 leave software data protection off
// after programming, 1 leave it on. Kept for the program's run.
extern uint32_t DataProtectMode;

// Reads the boot-block states in identification mode and logs them.
void ReadBootBlockStatus1();
// Locks the lower (2) or upper (3) boot block; one-way.
void ActivateBootBlockLockout1(int which);
// The texts of a boot-block state: FEh open, FFh locked, else unknown.
const char* BootBlockStateText(uint32_t state);

// The option dialog the rows' Options entries open (set by the UI).
using ShowOptProtectDialogFn = void (*)();
extern ShowOptProtectDialogFn ShowOptProtectDialogHook;
