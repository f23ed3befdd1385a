// Microcontrollers programmed through a byte-wide command interface: a
// command byte strobed with command select high, then its value; address,
// data and mode registers, and bit 5 of the mode register telling an
// unlocked part from a locked one (rows 179 and 177).
#pragma once

void InstallCommandLatchRows();
