// Microcontrollers that take a loader program into RAM at every power-up
// (row 146): 128 bytes of a library entry are clocked in through register 5,
// then the loader exchanges addresses and data over a byte handshake on
// registers 0, 1, 3 and 4.
#pragma once

void InstallBootstrapLoaderRows();
