// The 1500 type (row 242): a larger PLD with a 12-byte identification text,
// an 8-bit row address on pins and 177-bit rows.
#pragma once

void InstallGalId1500Row();
