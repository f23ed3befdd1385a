// Row 218: an eight-block CPLD reached through an instruction interface with
// the states of an IEEE 1149.1 test access port, clocked bit by bit through
// registers of the block CPLD bus image in its instruction form:
//   register 0  2 powered, 3 while a row is read out, 0 at power-down
//   register 1  bit 0 TCK, bit 1 TDI, bit 2 TMS
//   register 4  3 set-up and read, 1 ready, 5 pulse on, 2 off
//   register 9  bit b in or out of block b's data register
//   register 10 bit 0 TDO
// Every power-up checks the chip's identification value (16h).
#pragma once

void InstallInstructionBlockCpldRow();
