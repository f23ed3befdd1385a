// Rows 246 and 244: UV-erasable macrocell logic arrays (22V10 and 750
// classes) with a security cell, programmed and read a ten-bit word at a
// time; every power-up first reads the security cell and refuses a secured
// part.
#pragma once

void InstallSecuredWordEpldRows();
