// Microcontrollers with 16-bit program words programmed over a 16-pin data
// bus: command words strobed in by strobes A and C, a read/program strobe B
// that moves the part to its next word, and an identity word checked against
// the variant's before every Read and Program (row 144).
#pragma once

void InstallWordBusMcuRows();
