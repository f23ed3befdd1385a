// Electrically erasable microcontrollers on the register bus of their logic
// image (row 170): strobe codes on register 2, mode codes on register 3, the
// programming voltage on pin 35 (14.0 V for the two 100 ms erase steps);
// every read runs at 4.3 V.
#pragma once

void InstallEeMcuRows();
