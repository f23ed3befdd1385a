// EPM-type EEPROM CPLDs whose rows are selected through one-hot select
// chains (rows 296 and 299): an array area (108 or 106 rows) and a smaller
// configuration area, 80 bits a row and block shifted in and out on one data
// pin per block, as on the row shift interface. The module keeps an image of
// both areas (array at fuse 100000, configuration at 200000) and converts it
// to and from the user map through the variant's map; array row 0 holds the
// identification block, configuration row 0 the security bits.
#pragma once

void InstallEpmRowChainRows();
