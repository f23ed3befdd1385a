// Command-set flash on the latched address bus (LatchedFlash.cpp): row 82,
// single-byte commands with a status register.
#pragma once

void InstallLatchedFlashRows();
