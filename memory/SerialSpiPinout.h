// The serial memories on the SPI pinout that are not SPI EEPROMs with block
// protection: row 48 (instruction bytes A2h-A7h, page writes, pin driver).
#pragma once

void InstallSerialSpiPinoutRows();
