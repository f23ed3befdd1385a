// 3.3 V EPM-type CPLDs programmed over their JTAG port (row 297, adapter 82):
// the array is a set of 95 addresses, each a data word of 183 bits (variant
// 0) or 360 bits (variant 1); a one-hot address register selects the
// address, reads and programs step on by themselves. The module keeps the
// words at fuse 200000 of the buffer (the address image at 199000) and
// converts them to and from the user map through the variant and
// sub-variant map. Address 1 holds the identification word and the
// security bit, address 0 the configuration bit.
//
// Variant 1's sub-variant maps other than 2 follow the variant-0 maps the
// way sub-variant 2 does: sub-variant 1 with 12 fuses a macrocell (the last
// an inverted cell), 3-bit coded fields as 8 image bits and 2-bit coded I/O
// cells at addresses 93 and 94; sub-variants 0 and 3 with 14 fuses a
// macrocell, the single cells from 30208, seven fuses an I/O pin and the
// closing cells from 30710 (the last 32 at address 2, position 199).
#pragma once

void InstallEpmJtagRow();
