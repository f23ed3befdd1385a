// The two-wire serial configuration EEPROMs whose RESET/OE polarity is a
// stored setting (row 31).
#pragma once
#include <cstdint>

// 0 active low, 1 active high, as last read or chosen; kept between calls.
extern uint32_t ResetPolarity31;

// The dialog's polarity read and write by the device's variant: the read
// gives 1 or -1, the write 1, or -1 when a byte went unacknowledged or the
// identity question was answered No.
int ReadPolarity31();
int WritePolarity31();

// The Options entry shows the dialog through this hook; nullptr: nothing.
using ShowConfigEepromDialogFn = int (*)();
extern ShowConfigEepromDialogFn ShowOptAt17CxxxHook;
