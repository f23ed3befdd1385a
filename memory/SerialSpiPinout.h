// The serial memories on the SPI pinout that are not SPI EEPROMs with block
// protection: row 43 (DataFlash through the byte engine in its adapter, page
// read 52h and page program 82h), and on the pin driver row 48 (instruction
// bytes A2h-A7h, page writes) and row 95 (serial flash with byte programming
// and identifiers).
#pragma once

void InstallSerialSpiPinoutRows();
