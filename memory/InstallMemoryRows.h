// Puts the entries of the parallel EPROM modules into their rows of the
// algorithm table, one family file after the other. Called after
// ResetAlgorithmTable().
#pragma once

void InstallMemoryAlgorithms();
