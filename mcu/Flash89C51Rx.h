// Flash 8051s of the 89C51Rx kind on the pin driver: the code array with
// three security bits and special bytes that decide how the chip starts, a
// status byte and a boot vector byte (row 192), or a status byte, the boot
// program counter byte BPC and the boot status word byte BPSW (row 188, whose
// writes each follow two unlock cycles). A 4-bit function code on P3.0,
// P3.1, P3.7, P2.6 selects every function; the programming voltage stays on
// EA/VPP from power-up to power-down. The chip is refused while secured;
// Erase programs every byte to 00h, then pulses erase until the range reads
// blank. The option dialog reads, programs and initializes.
#pragma once
#include <cstdint>

#include "mcu/McuFrame.h"

// Settings of the option dialog: the security level (0 security bit 1, 1
// bits 1 and 2, 2 bits 1, 2 and 3), the status byte and the boot vector.
extern int SecurityLevel192;
extern int StatusByte192;
extern int BootVector192;
// The last Identify: maker, device, third signature byte, security bits,
// status byte, boot vector.
extern int Signature192[6];
// Microseconds of an erase pulse, by DeviceVariant (set at power-up).
extern int EraseDuration192;
constexpr uint32_t Variant192Count = 2;
// Row 188's settings: the security level (as row 192's), the status byte,
// BPC and BPSW; and the last Identify's signature space, bytes 0-15 (1 BPSW,
// 3 BPC, 4 status byte, 6 maker, 7 device, 10 security bits).
extern int SecurityLevel188;
extern int StatusByte188;
extern int BpcByte188;
extern int BpswByte188;
extern int Signature188[16];
// Result of the option dialog's last button.
extern int OptionResult89C51Rx;

// The dialog's routines, each a complete power cycle: 1 or -1.
int ReadStatusBytes192();
int ProgramStatusBytes192();
int InitializeDevice192();
int ReadStatusBytes188();
int ProgramStatusBytes188();
int InitializeDevice188();

void InstallRx51DialogLauncher(OptionDialogLauncher launcher);
void ResetRx51State();
