// Microcontrollers reached in strict address order (rows 143, 133, 147): the
// logic image holds the part in its sequential mode and register 2 written 1
// then 0 steps it to the next address; no address is ever sent.
#pragma once

void InstallSequentialClockRows();
