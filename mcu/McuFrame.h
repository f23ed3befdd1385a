// What every microcontroller module shares: the pin-role map of the 8051
// pin-driver modules, and the option-dialog launcher that the shell installs
// (the modules link no Qt).
#pragma once
#include <cstdint>
#include <span>

#include "engine/NeighbourState.h"

// McuPinMap: the socket pin (1-48) of each 8051 pin role for the current
// device, kept in SocketPinMap's storage and filled by each 8051 module's
// power-up. Index with the roles below.
enum McuPinRole : uint32_t {
    McuP1_0 = 0,  // P1.0-P1.7 (A0-A7): McuP1_0 + n
    McuRst = 8,
    McuP2_0 = 9,  // P2.0-P2.5 (A8-A13): McuP2_0 + n
    McuEaVpp = 15,
    McuP0_0 = 16, // P0.0-P0.7 (D0-D7): McuP0_0 + n
    McuPinRoleCount = 24,
};
static_assert(McuPinRoleCount <= SocketPinMapSize);
inline uint32_t* const McuPinMap = SocketPinMap;

// The option-dialog launcher: shows the dialog modally and returns 1. The
// shell installs it; without one (tests, no window) nothing is shown.
using OptionDialogLauncher = int (*)();
void InstallEncryptionDialogLauncher(OptionDialogLauncher launcher);
int ShowEncryptionDialog();

// Result of the security dialog's last Read or Program button.
extern int EncryptionDialogResult;

// The Options entries that open the security and encryption dialog.
int Alg100Options();
int Alg107Options();

// The lock levels of the flash 8051 rows, set by the lock-level dialog:
// LockBitLevel 0 lock bit 1, 1 lock bits 1 and 2, 2 lock bits 1, 2 and 3;
// LockBitLevel106 (row 106) 0 lock bit 1, otherwise lock bits 1 and 2.
extern int LockBitLevel;
extern int LockBitLevel106;
void InstallLockLevelDialogLauncher(OptionDialogLauncher launcher);
// The Options entries that open the lock-level dialog; both return 1.
int Alg105Options();
int Alg106Options();
// Whether every lock bit a Secure wrote reads programmed: `asked` holds the
// bits of the lock state read (`lockRead`) that the write was to program. A
// programmed bit reads 0, or 1 where `programmedReadsHigh`.
bool LockBitsTook(uint32_t lockRead, uint32_t asked, bool programmedReadsHigh = false);
// The mask of lock bits 1 to `count` of a lock state whose lock bit n is at
// bit bitOf[n - 1]; no more bits than bitOf holds.
uint32_t LockBitsAsked(std::span<const uint32_t> bitOf, int count);
// The detail line of a Secure whose part has no lock read.
void ShowLocksNotReadBack();

// Back to the start-up state of the frame's settings.
void ResetMcuFrameState();
