// Microcontrollers read out over a multiplexed bus while running from a
// clock the programmer gives by switching a socket pin to ground and back
// (row 145: ROM bytes 300h-7FFh).
#pragma once

void InstallClockedBusMcuRows();
