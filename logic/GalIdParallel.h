// GAL-type PLDs with an identification text in row 58 and a parallel row
// address: 16V8 types (rows 228, 243) and a 20V8 type (row 229), working on
// the device image at fuse 10000 with PAL emulation. The text chooses the
// pulse widths on row 243.
#pragma once

void InstallGalIdParallelRows();
