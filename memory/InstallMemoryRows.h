// Puts the entries of the parallel EPROM modules into their rows of the
// algorithm table. Called after ResetAlgorithmTable().
#pragma once

void InstallMemoryAlgorithms();
