// The serial EEPROM with 16-bit addresses, two clocks and page verify on the
// pin driver (row 85) and on the byte engine's two-clock form (row 44).
#pragma once

void InstallSerialTwoClockRows();
