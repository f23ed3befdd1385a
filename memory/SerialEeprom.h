// The serial EEPROM rows: three-wire (10, 18), two-wire (11, 81). The table
// sizes the device library must respect.
#pragma once
#include <cstdint>

// One row of the word-engine row's table per DeviceVariant.
struct MicrowireVariant {
    uint32_t OpcodeBits;  // instruction code bits after the start bit
    uint32_t AddressBits; // width of the address field
    uint32_t DataOutPin;  // ZIF pin of the chip's DO (ready after a write); 0 = fixed wait
};
constexpr uint32_t MicrowireVariantCount = 11;
extern const MicrowireVariant MicrowireVariantTables[MicrowireVariantCount];
// Row 11's address forms; rows 14 and 16 have three forms too.
constexpr uint32_t TwoWireFormCount = 3;
// Row 14's register-0 values by DeviceSubVariant.
constexpr uint32_t Row14SubVariantCount = 4;

// The write-protect register of rows 14 and 16 and the option dialogs' values
// (item indexes: block protect 0-3, PPEN/WPEN 0 "Low", 1 "Hi").
extern int Opt24fxxBlockProtect;
extern int Opt24fxxPpen;
extern int Opt24xxxBlockProtect;
extern int Opt24xxxWpen;
// Row 14: reads the register (logs " Protect Register : %02x", sets the two
// values) and writes it from the values; both 1 (-1 for a record the row
// refuses).
int ReadProtectRegister14();
int WriteProtectRegister14();
// Row 16: the register into ReadValue; ExpectedValue OR 2 into the register,
// 1 or -1 when the chip never acknowledges afterwards.
int ReadWriteProtectRegister16();
int ProgramWriteProtectRegister16();
// The dialogs the Options entries of rows 14 and 16 open (set by the UI).
using ShowOptionsDialogFn = int (*)();
extern ShowOptionsDialogFn ShowOpt24fxxDialogHook;
extern ShowOptionsDialogFn ShowOpt24xxxDialogHook;
