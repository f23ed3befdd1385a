// Microcontrollers behind a nibble handshake of their logic image (rows 171
// and 174): commands on register 1 with busy on register 3 bit 7, 10-bit
// addresses in 5-bit halves and bytes in nibbles through register 3, every
// byte bit-reversed on the chip's data lines, and a lock bit.
#pragma once

void InstallNibbleMcuRows();
