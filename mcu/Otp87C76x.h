// One-time-programmable 8051s of the 87C76x kind (row 189): a two-wire serial
// command protocol (data and clock pins by package), the code array, a
// 32-byte area at FCE0h-FCFFh and two option-bit bytes at FD00h-FD01h that
// only the configuration-fuse step and the option dialog program.
#pragma once
#include <cstdint>
#include <string>

#include "mcu/McuFrame.h"

// The dialog's combo indexes; EncodeOptionBits189 and DecodeOptionBits189
// move them to and from buffer bytes FD00h-FD01h.
extern int WatchDogTimerOption;
extern int ResetPinOption;
extern int PortResetOption;
extern int BrownOutOption;
extern int ClockRateSelectOption;
extern int OscillatorControlOption;
extern int SecurityBitsOption;

constexpr uint32_t OptionBytes189 = 0xFD00;

void EncodeOptionBits189();
void DecodeOptionBits189();

// Programs buffer bytes FD00h-FD01h as they stand (the configuration-fuse
// step) and decodes them into the option variables; 1 or -1.
int ProgramOptionBytes189();
// The dialog's button: encodes the option variables first; 1 or -1.
int Program87C76xOptionBits();
int ReadOptionBits189();

// Empty, or why a record of `row` in a package of `pinCount` pins is refused
// (only the 8-, 16-, 20- and 44-pin packages have serial pins).
std::string Otp87C76xRecordRefusal(uint32_t row, uint32_t pinCount);

void Install87C76xDialogLauncher(OptionDialogLauncher launcher);
void Reset87C76xState();
