// Microcontrollers programmed in their EPROM-compatible parallel mode: every
// address line on its own socket pin, eight data lines, a chip enable, an
// output enable and a program pulse (rows 184, 183, 303, 185 and 198).
#pragma once

void InstallDirectEpromRows();
