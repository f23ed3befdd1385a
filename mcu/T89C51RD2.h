// Flash 8051s of the T89C51RD2 kind on the pin driver (row 128): written a
// page at a time from VCC alone, every write sequence opened by a two-byte
// unlock and closed by a closing strobe, a page write ending with a ready
// wait on P3.2; protected by the hardware security byte (HSB), which the
// option dialog reads and programs. A read fills Buffer Start..Buffer End
// alone (the signature area is read for the identity only).
#pragma once
#include <cstdint>

#include "mcu/McuFrame.h"

// The dialog's settings: the lock level (0 "LEVEL1-UUU" .. 3 "LEVEL4-Pxx")
// and the values 0 or 1 of BLLB (HSB[5]), BLJB (HSB[6]) and SB (HSB[7]).
extern int HsbLockLevel128;
extern int HsbBllb128;
extern int HsbBljb128;
extern int HsbSb128;
// The HSB of the last Identify, and the page length of the last power-up.
extern int Hsb128;
extern int PageLength128;

// The HSB byte the settings compose (bits 3 and 4 always 1).
int ComposeHsb128();
// The dialog's routines, each a full power cycle: 1, or -1 with an error
// line when the package has no layout or a bit written 0 reads back 1.
int ReadHsb128();
int ProgramHsb128();

void InstallT89C51RD2DialogLauncher(OptionDialogLauncher launcher);
void ResetT89C51RD2State();
