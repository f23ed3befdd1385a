// GAL-type PLDs that identify themselves by a text in their identification
// row, read one bit per clock; the text chooses the pulse widths. The
// engines: GalIdParallel.h (16V8 and 20V8 types), GalIdSerial.h (22V10
// types), GalId1500.h and GalIdV750.h (larger PLDs with a 12-byte text).
#pragma once
#include <cstdint>

// Pulse widths chosen by the last identification: ms on row 243, us on
// rows 230 and 247; the architecture clear of row 243 in ms.
extern uint32_t ProgramPulseWidth;
extern uint32_t ErasePulseWidth;
extern uint32_t ClearPulseWidth;
