// Microcontrollers programmed byte by byte in a parallel EPROM-like mode with
// the enable line held low for the whole operation and the programming
// voltage on a pin of the layout (row 155: two 40-pin layouts by hardware
// kind, and 32-pin parts on socket adapter 'p').
#pragma once

void InstallParallelByte155Rows();
