// Rows 246, 244 and 245: UV-erasable macrocell logic arrays (22V10, 750 and
// 2500 classes) with a security cell, programmed and read a ten- or
// twelve-bit word at a time; every power-up first reads the security cell
// and refuses a secured part. Row 245 learns the most pulses a word needed
// and gives a margin pass after programming.
#pragma once

void InstallSecuredWordEpldRows();
