// Microcontrollers programmed byte by byte in a parallel EPROM-like mode with
// the enable line held low for the whole operation and the programming
// voltage on a pin of the layout (row 155: 32-pin parts on socket adapter
// 'p'; its 40-pin packages are refused, the programmer does not power them).
#pragma once

void InstallParallelByte155Rows();
