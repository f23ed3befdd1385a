// Puts the entries of the programmable-logic modules into their rows of the
// algorithm table and the PAL-emulation reset into the device selection.
// Called after ResetAlgorithmTable() and ResetRowHooks().
#pragma once

void InstallLogicAlgorithms();
