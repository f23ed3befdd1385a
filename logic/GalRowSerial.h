// Row-serial GAL family: electrically erasable GALs worked through their edit
// mode. A 6-bit row address is latched with a strobe; the row's bits are
// shifted in or out one at a time on a serial data line with a bit clock; a
// strobe held low with program/verify high writes the shifted row. The part's
// signature row tells the programming voltage and pulse width.
//
// A row of the family is a GalRowSerialType: its socket pins, its array rows,
// its UES and architecture rows and the fuse order of the architecture row.
// Row 219 (GAL16V8 type) is the first member.
#pragma once
#include <array>
#include <cstdint>

struct GalRowSerialType {
    uint32_t Row;
    int AddressPins[6]; // RA0..RA5 (pin group 0)
    int EditLowPins[5]; // driven low in edit mode (pin group 1)
    int ClockPin, DataInPin, StrobePin, DataOutPin, ProgramPin, HeldLowPin, EditVoltagePin;
    int ArrayRows;    // walk steps over the array, row address = step
    int ArrayRowBits; // bits per array row; bit i of row r is fuse i * ArrayRows + r
    int UesAddress, UesBits;
    uint32_t UesFuse;
    int ArchAddress, ArchBits;
    const uint16_t* ArchOrder[2]; // fuse of each architecture bit, by GalSecondArchOrder
};

// The GAL16V8 type of row 219.
extern const GalRowSerialType Gal16V8RowSerial;

// Architecture row of the 16V8 type: JEDEC fuse of each of the 82 bits
// shifted; set 1 for signature type codes 26 and up.
extern const std::array<std::array<uint16_t, 82>, 2> GalArchitectureRowOrder;
// Programming voltage (0.1 V) and pulse width (ms) by the signature's
// voltage code 0-5: rows voltage maker 8Fh, voltage other makers, pulse
// maker 8Fh, pulse other makers.
extern const uint16_t GalProgrammingTable[4][6];

// Module state, rewritten by every power-up: the signature row (byte k in
// entry k: 1 voltage code, 2 type code, 3 maker code), the programming
// voltage and pulse width it selected, and the architecture-row order.
extern int GalSignatureRecord[8];
extern uint32_t GalVpp;
extern uint32_t GalPulseWidth;
extern uint32_t GalSecondArchOrder;

int Alg219Read(int mode);
int Alg219Program();
int Alg219Erase();
int Alg219Secure();

// Puts the family's rows into the algorithm table.
void InstallGalRowSerialRows();
