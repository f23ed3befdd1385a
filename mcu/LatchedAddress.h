// Microcontrollers whose programming mode catches the address from the data
// pins in address latches: row 172 (address bytes and datum on eight pins,
// over-program pulse, securing mode, two package columns) and row 124 (the
// address bits on pins shared with the data, the programming voltage pulsed
// on a pin of its own).
#pragma once

void InstallLatchedAddressRows();
