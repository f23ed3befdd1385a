// Flash microcontrollers written through command bytes on the register bus
// of their logic image (row 194): the datum is sent complemented after
// command 40h and completion is polled on bit 7; 30h twice erases the part.
// Cells read 00h when erased.
#pragma once

void InstallCmdFlashMcuRows();
