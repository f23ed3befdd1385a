// Row 275: a one-time ten-output macrocell array (the 22V10 JEDEC map of
// 5828 fuses) programmed and read one fuse cell at a time, each cell blown
// with up to 125 pulses until it reads blown.
#pragma once

void InstallMacrocellFusePldRow();
