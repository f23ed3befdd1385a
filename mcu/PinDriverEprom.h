// One-time-programmable microcontrollers driven pin by pin in their EPROM
// mode, without option dialogs: the 8051-family parts of row 101 (mode lines
// on port pins, the programming voltage on EA/VPP).
#pragma once

void InstallPinDriverEpromRows();
