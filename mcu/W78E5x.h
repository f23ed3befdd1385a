// Flash 8051s of the W78E5x kind on the pin driver: row 108 (read and write
// strobes on P3.7 and P3.6, 14.5 V chip erase) and row 122 (a 4-bit mode code
// on P3.0-P3.3, strobes on P3.4 and P3.5, P3.6 as the upper-bank line). Both
// keep a special register at FFFFh with three options, handled after the code
// array by Read and Program.
#pragma once
#include <cstdint>

#include "mcu/McuFrame.h"

// Option state (0 or 1 each): a 1 is a programmed (0) register bit.
extern int SpecialRegisterMovExecute; // bit 1: "Disable", "Enable"
extern int SpecialRegisterEncryption; // bit 2: "Disable", "Enable"
extern int SpecialRegisterOscControl; // bit 7: "Full gain", "1/2 gain "
// The register bits row 108 encodes, decodes and compares, by DeviceVariant.
extern uint32_t SpecialRegisterMask108;
constexpr uint32_t Variant108Count = 3;
extern const uint32_t SpecialRegisterMasks108[Variant108Count];
// Row 122 by DeviceSubVariant: the address where P3.6 rises, and the erase pulse.
extern uint32_t BankBoundary122;
extern uint32_t ErasePulseWidth122;
// Result of the register read made by the Options entry.
extern int SpecialRegisterReadResult;

// The register byte of the current options: bit 1 NOT MOV execute, bit 2 NOT
// encryption, bit 7 NOT oscillator gain, every other bit 1.
uint8_t EncodeSpecialRegister();
// The options of `mask` from a register byte read from the chip.
void DecodeSpecialRegister(uint32_t value, uint32_t mask);

int ReadSpecialRegister108(int mode);
int ReadSpecialRegister122(int mode);
int ProgramSpecialRegister108();
int ProgramSpecialRegister122();
// " <name> <mode word>ok!" or "... error!".
void ShowSpecialRegisterResult(const char* name, int mode, int result);

// The option dialog's launcher (installed by the shell).
void InstallW78E5xDialogLauncher(OptionDialogLauncher launcher);

void ResetW78E5xState();
