// Flash 8051s with three (or two) lock bits on the pin driver, whose cells
// program by one short pulse and a ready wait (rows 105, 178; row 106 on a
// 20-pin part with an internal address counter) or by trains of pulses with
// retries (row 193). The protection level comes from the lock-level dialog.
#pragma once
#include <cstdint>

// Row 105: the bytes at 30h, 31h, 32h of the last Identify; 32h FFh means
// the chip wants the programming voltage.
extern int Signature105[3];
// Row 178: the bytes at 000h, 100h, 200h of the last Identify.
extern int Signature178[3];
// Row 178: microseconds of each lock-bit pulse, by DeviceVariant.
extern int LockPulseWidth178;
// Row 193: the bytes at 30h, 31h, 60h and the lock byte of its last check.
extern int Signature193[4];

// Row 105's programming-voltage rules and row 178's lock pulse widths, by
// DeviceVariant.
constexpr uint32_t Variant105Count = 3;
constexpr uint32_t Variant178Count = 2;
extern const int LockPulseWidths178[Variant178Count];

// Back to the start-up state of this family.
void ResetFlash8051State();
