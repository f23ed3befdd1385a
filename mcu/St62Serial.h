// ST62-type serial EPROM microcontrollers (row 180): the program EPROM is
// reached through the chip's data space over a clocked bit-serial link; a
// 64-byte page is mapped into the data-space window 40h-7Fh by the window
// register C9h. Also ToggleFlag, which the parallel-memory rows use.
#pragma once
#include <cstdint>

// 0 becomes 1, any other value becomes 0.
void ToggleFlag(uint32_t* flag);
