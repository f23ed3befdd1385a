// Parallel EPROMs on the memory bus, a family file each:
// - Eprom.cpp: the byte-wide modules: pulse-verify (row 0) and its
//   single-pulse twin (row 90), the paged EPROMs (rows 67, 68), the
//   electrically erasable part with timed writes (row 76) and the byte-write
//   part (row 60);
// - Eprom16.cpp: the 16-bit EPROMs (rows 3/4, 69, 75, 84);
// - EpromCtrlBus.cpp: the EPROMs on the control-register bus (rows 301, 302).
#pragma once
#include <cstdint>

#include "memory/MemoryFrame.h"

// Pulse and socket handling by DeviceVariant, shared by rows 0 and 90.
extern const EpromEraseVariant EpromEraseVariantTable[EpromEraseVariantCount];
