// The V750 type (row 248): a larger PLD with a 12-byte identification text,
// the row address shifted in behind the data, 171-bit rows and a security
// check before anything but an erase.
#pragma once

void InstallGalIdV750Row();
