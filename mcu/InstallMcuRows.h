// Puts the microcontroller families' entries into their rows of the algorithm
// table. Called after ResetAlgorithmTable().
#pragma once

void InstallMcuAlgorithms();
