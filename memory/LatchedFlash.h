// Command-set flash on the latched address bus (LatchedFlash.cpp): row 94
// with unlock sequences and data polling, row 82 with single-byte commands
// and a status register.
#pragma once

void InstallLatchedFlashRows();
