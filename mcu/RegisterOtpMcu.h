// One-time-programmable microcontrollers on the register bus of their logic
// image. Rows 102 and 103: the high address on register 0, the low address
// and the data multiplexed on register 9, bus modes on register 1; blank
// cells read 00h. Row 102 pulses a pin to 18.0 or 23.0 V (by variant), row
// 103 strobes register 3 and over-programs, and keeps a security byte. Row
// 109: blank FFh, the whole address latched by a strobe at every cell, 1 ms
// pulses of the programming voltage on pin 9.
#pragma once

void InstallRegisterOtpRows();
