// Configuration devices that identify themselves with the text "ALTERA9":
// row 33 through the command engine of its logic image.
#pragma once
#include <cstdint>

// The four option bits at DeviceEnd (high four bits read as 1): mode 2
// stores them in the buffer, 0 wants FFh, 3 the buffer's byte, 1 returns
// the value; other modes pass.
int ReadOptionBits33(int mode);
