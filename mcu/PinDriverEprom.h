// One-time-programmable microcontrollers driven pin by pin in their EPROM
// mode, without option dialogs: the 8051-family parts of row 101 (mode lines
// on port pins, the programming voltage on EA/VPP) and the parts of rows 190
// and 191 (13 address lines and 8 data lines on fixed pins; row 191 with a
// security bit).
#pragma once

void InstallPinDriverEpromRows();
