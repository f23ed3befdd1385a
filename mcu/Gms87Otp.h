// One-time-programmable microcontrollers of the GMS87C1202 kind (row 175):
// an 8-bit multiplexed bus on the pin driver (address high and low bytes
// clocked in with a strobe, then data on the same pins), blank cells 00h, the
// code at the top of the 64 KB space and eleven option bytes at 0F50h +
// 16 x i (a 10-character customer ID, then the oscillator and code-protect
// byte) that only the configuration-fuse step and the option dialog program.
#pragma once
#include <cstdint>
#include <string>

#include "mcu/McuFrame.h"

constexpr uint32_t Variant175Count = 2;
constexpr uint32_t Gms87OptionByteCount = 11;
constexpr uint32_t Gms87CustomerIdLength = 10;

// Chip address of option byte i.
constexpr uint32_t Gms87OptionAddress(uint32_t i) { return 0x0F50 + 16 * i; }

// The customer ID as text (bytes 0-9 of the option bytes, zero-terminated).
extern char Gms87CustomerId[Gms87CustomerIdLength + 1];
// Bit 0 of option byte 10: 0 normal, 1 external RC oscillator.
extern int Gms87Oscillator;
// Bit 2 of option byte 10: 0 allow, 1 lock code read-out.
extern int Gms87CodeProtect;
// The result of the dialog's last program button; the Options entry returns it.
extern int Gms87ProgramResult;

// The combo texts of the two options, in ItemIndex order.
extern const char* const Gms87OscillatorItems[2];
extern const char* const Gms87CodeProtectItems[2];

// The option bytes last read from or programmed into the chip.
uint8_t Gms87OptionByte(uint32_t i);
// Bounded text copies of 10 bytes (stop at the first zero, zero-fill the
// rest): the option bytes into Gms87CustomerId, and a text into it.
void Gms87CustomerIdFromOptionBytes();
void SetGms87CustomerId(const std::string& text);

// Reads the eleven option bytes, decodes them into the option variables and
// logs them; 1, or -1 when the device cannot be powered (nothing read).
int ReadGms87OptionBits();
// Programs the option bytes from the option variables (the configuration-fuse
// step and the dialog's button); 1 or -1.
int ProgramGms87OptionBits();
// Logs the customer ID and the two options as the dialog would show them.
void ShowGms87Options();

void InstallGms87DialogLauncher(OptionDialogLauncher launcher);
void ResetGms87State();
