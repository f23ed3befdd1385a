// The 8051 family on the pin driver (rows 100, 123, 195, 196, 107): address
// and data on pin groups, the function on mode lines (or, row 107, an 8-bit
// control code), EA/VPP on supply A, program pulses on ALE/PROG. Each row is
// a socket layout, a mode-line table and a pulse routine over the shared
// helpers in Mcu8051.cpp.
#pragma once
#include <cstdint>

// Row 100's option register (chip address FCh): last read or to be programmed.
extern int OptionRegister;
// Row 107's configuration bytes 0 and 1.
extern int ConfigBytes[2];
// Row 196: the voltage on EA/VPP during program and erase pulses (tenths).
extern uint32_t EraseVppLevel;

// Row 107's pulse counts and configuration address, by DeviceVariant.
struct Config107Entry {
    uint8_t CodePulses;  // per code-byte attempt
    uint8_t TablePulses; // table, lock and configuration bytes
    uint16_t ConfigAddress;
};
constexpr uint32_t Config107Count = 3;
extern const Config107Entry Config107[Config107Count];

// DeviceSubVariant of these rows: bits 0-5 the datasheet's pulse count, bit 6
// the option-register panel of the dialog, bit 7 two lock bits only.
constexpr uint8_t SubVariantPulseMask = 0x3F;
constexpr uint8_t SubVariantOptionPanel = 0x40;
constexpr uint8_t SubVariantTwoLockBits = 0x80;

int ProgramEncryptionTable100();
int ReadOptionRegister100();
int ProgramOptionRegister100();

int ProgramEncryptionTable123();

int ProgramEncryptionTable195();

int ProgramEncryptionTable196();

int ProgramEncryptionTable107();
int ReadConfigBytes107();
int ProgramConfigBytes107();

// Back to the start-up state of this family.
void ResetMcu8051State();
