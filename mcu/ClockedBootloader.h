// 68HC705-type parts that take their memory as a byte stream in address
// order (rows 134, 135: one byte per clock of register 2, no address sent),
// and parts burnt by the programmer itself from its RAM (row 142).
#pragma once

void InstallClockedBootloaderRows();
