// The serial EEPROM with 16-bit addresses, two clocks and page verify on the
// pin driver (row 85).
#pragma once

void InstallSerialTwoClockRows();
