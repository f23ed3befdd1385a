// Rows 239 and 238: UV-erasable macrocell logic arrays (20RA10 and 22V10
// classes) programmed and read a ten-bit word at a time, each word gathering
// its bits from the fuse map in JEDEC order; every word is programmed with a
// bounded pulse train and an over-pulse (capped at 50 ms).
#pragma once

void InstallMacrocellWordPldRows();
