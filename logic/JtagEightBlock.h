// In-system eight-block CPLD over a TAP on socket pins (row 266): the fuse
// array of the eight-block CPLD with its 73 E bits and 32 user-code bits,
// driven by the module itself on pins 11 (TCK), 14 (TDO), 15 (TDI) and 16
// (TMS), with pulses on pin 12 and 9.2 V on pin 13.
#pragma once
#include <cstdint>

#include "logic/BlockCpldLayout.h"

void InstallJtagEightBlockRow();
