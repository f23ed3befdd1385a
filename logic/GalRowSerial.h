// Row-serial GAL family: electrically erasable GALs worked through their edit
// mode. A 6-bit row address is put on the pins (and latched with a strobe);
// the row's bits are shifted in or out one at a time on a serial data line
// with a bit clock; a strobe held low with program/verify high writes the
// shifted row. The part's signature row tells the programming conditions.
//
// A row of the family is a GalRowSerialType: its socket pins, its array
// rows, its UES and architecture rows, the fuse orders of the architecture
// row, and the named steps by which it enters, identifies and leaves edit
// mode. Row 219 (GAL16V8 type) and 220 (GAL20V8 type) read a signature
// with a voltage code; rows 232 and 233 (low-voltage 16V8 and 20V8 types)
// read an extended electronic ID that carries their own voltages and times.
#pragma once
#include <cstdint>

struct GalRowSerialType {
    uint32_t Row;
    int AddressPins[6];   // RA0..RA5 (pin group 0)
    int EditLowPins[5];   // driven low in edit mode (pin group 1)
    int GroupTwoPins[5];  // driven low from power-up, 0 = no such group (pin group 2)
    int ClockPin, DataInPin, StrobePin, DataOutPin, ProgramPin;
    int HeldLowPin;       // 0 = none
    int EditVoltagePin;
    int ArrayRows;    // walk steps over the array, row address = step
    int ArrayRowBits; // bits per array row; bit i of row r is fuse i * ArrayRows + r
    int UesAddress, UesBits;
    uint32_t UesFuse;
    int ArchAddress, ArchBits;
    const uint16_t* ArchOrder[2]; // fuse of each architecture bit, by GalSecondArchOrder
    uint8_t AcceptedTypes[4];     // type codes the row takes; all 0 = any
    uint8_t SecondOrderType;      // type codes from this one up shift the architecture row in order 1
    uint8_t OrRowTypes[2];        // type codes that also get the OR row (address 45)
    const uint16_t (*ProgrammingTable)[6]; // signature rows: voltage and pulse by voltage code
    // Power-up with the identity check (mode 1 writing, 2 reading): 1, or -1
    // powered down and logged.
    int (*PowerUp)(const GalRowSerialType& t, int mode);
    void (*PowerDown)(const GalRowSerialType& t);
    // Puts a row's address up before its bits are shifted in for writing.
    void (*SelectForWrite)(const GalRowSerialType& t, int address);
    // Puts a row's address up and loads the row for reading.
    void (*LoadForRead)(const GalRowSerialType& t, int address);
    // The write strobe; widths of a row write and of the erase.
    void (*ProgramPulse)(const GalRowSerialType& t, uint32_t width);
    uint32_t (*ProgramWidth)();
    uint32_t (*EraseWidth)();
};

// The GAL16V8 type of row 219, the GAL20V8 type of row 220, the extended-ID
// 16V8 and 20V8 types of rows 232 and 233.
extern const GalRowSerialType Gal16V8RowSerial;
extern const GalRowSerialType Gal20V8RowSerial;
extern const GalRowSerialType Gal16LV8RowSerial;
extern const GalRowSerialType Gal20LV8RowSerial;

// Programming voltage (0.1 V) and pulse width (ms) by the signature's
// voltage code 0-5: rows voltage maker 8Fh, voltage other makers, pulse
// maker 8Fh, pulse other makers. Row 220 has its own.
extern const uint16_t GalProgrammingTable[4][6];
extern const uint16_t Gal20V8ProgrammingTable[4][6];

// Module state, rewritten by every power-up: the signature row (byte k in
// entry k: 1 voltage code, 2 type code, 3 maker code), the programming
// voltage and pulse width it selected, and the architecture-row order.
extern int GalSignatureRecord[8];
extern uint32_t GalVpp;
extern uint32_t GalPulseWidth;
extern uint32_t GalSecondArchOrder;
