// 16-bit command flash carried over the byte data register, each word as two
// byte cycles of register 6, low byte first (ByteLaneFlash.cpp): row 25 (the
// two-byte write FBh, one or two dies) and row 54 (E8h write buffers).
#pragma once

void InstallByteLaneFlashRows();
