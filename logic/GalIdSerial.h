// GAL-type PLDs with an identification text in row 58: 22V10 types (rows
// 230, 247) whose row address is shifted in with the data. The text
// chooses the pulse widths.
#pragma once

void InstallGalIdSerialRows();
