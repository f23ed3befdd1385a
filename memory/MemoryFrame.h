// The frame every parallel memory module follows on the memory bus of the
// memory logic images (registers 0-2 address, 3 socket mask active low,
// 4 strobes, 5 bus mode, 6-7 data): power-up and power-down, the address walk,
// the read loop, reading one datum, the pulse routines, pulse-verify of one
// datum with over-pulse and retry, the program loop and the electrical-erase
// walk.
//
// One engine serves every row: the entry of a row selects its FrameProfile
// (FrameUse) and the helpers below follow it. Rows whose register traffic is
// the same as another's share its profile values.
#pragma once
#include <cstdint>

#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Services.h"

// The pulse routines; the width is in microseconds.
using PulseRoutine = void (*)(uint32_t widthUs);
void PulseWithSocketMask(uint32_t widthUs);
void PulseWithVpp(uint32_t widthUs);
void PulseStrobe(uint32_t widthUs);

// Pulse-verify of the datum on the data lines: pulse, read back, and once it
// matches the over-pulse (n x OverPulseWidth with PulseMul); at most
// limit - 1 pulses. 1 or -1.
int PulseVerify(PulseRoutine pulse, bool (*matches)(), bool overPulse, uint32_t limit);

// One register write of a sequence; Register -1 ends it.
struct RegisterWrite {
    int Register = -1;
    uint32_t Value = 0;
};

// Where the upper address latches are written in a walk: register 1 at
// multiples of Register1Every, register 2 (with the high-address flag) at
// multiples of Register2Every (0: never), both at the first address with AtFirst.
struct UpperLatches {
    uint32_t Register1Every = 0;
    uint32_t Register2Every = 0x10000;
    bool AtFirst = false;
};

int ProgramDatum();

// What a row does differently inside the frame.
struct FrameProfile {
    // Power-up.
    bool CypressBlankRule = false; // "CYPRESS" CY27C128/CY27C256 blank at 00h
    bool BlankCheckAfterEraseRule = false; // one socket outside auto: blank check after erase
    bool SlowPulseProgress = false; // PulseWidth >= 10 ms: progress every 16 addresses
    bool GangSupplyCap = false;    // 3.3 V range with gang sockets at 3.4 V and more
    int Dac1 = 50;                 // SetAllDacVoltages(Dac1, 0, 0, 0)
    bool WriteAddressLatches = true; // registers 0-1 written at power-up
    bool WriteUpperLatch = true;   // register 2 written at power-up
    // Written just before the supply goes on: idle lines and bus mode.
    RegisterWrite IdleWrites[4] = {{3, 0xFF}, {4, 0x1F}, {5, 8}, {}};
    int ExtraRegister = -1;        // written after power-up (register 7 = 3)
    uint32_t ExtraValue = 0;
    uint32_t SettleMs = 100;
    int FixedVccRange = 0;         // SetVccRange with this value instead (0: the supply)
    uint32_t UpperFlagRegister8 = 0; // register 8 value at power-up (0: not written)
    // Power-down: written before the supply goes off; then every output reset.
    RegisterWrite ParkWrites[3] = {{4, 0x1F}, {3, 0xFF}, {}};
    bool ResetOutputsAfterPowerOff = false;
    // Data.
    bool Word = false;             // 16-bit: data on registers 6 and 7
    uint32_t HighAddressFlag = 0;  // ORed into register 2 (16-bit modules)
    // Read loop.
    bool ReadAtProgramSupply = false; // power-up with the programming supply in every mode
    bool ReadVpp = false;          // programming pin raised during the read
    int ReadVppTenths = -1;        // its voltage (-1: the supply voltage)
    int ReadVppOffTenths = 0;
    int ReadBusMode = 9;           // register 5 before the loop: 9 sequential, 1 strobed; -1 none
    bool ReadMaskThroughLatch = false; // the socket mask by WriteRegister3
    bool ReadStrobeFirst = true;   // register 4 = 0Fh before the loop
    bool RestoreUpperAfterStrobe = false; // register 1 = FFh, 0, then the range's upper address
    UpperLatches ReadUpper;
    void (*ReadPage)(uint32_t page) = nullptr; // at every 16 KB page
    void (*Read)() = nullptr;      // one datum into ReadValue (nullptr: the data registers)
    // Program loop.
    bool ProgramVpp = true;        // programming voltage on for the loop
    bool MaskAllBeforeVpp = false; // register 3 = 0 before the voltage
    uint32_t ProgramStrobe = 0;    // register 4 after the voltage (0: none)
    bool MaskAllAfterVpp = false;  // register 3 = 0 after the voltage
    bool MaskOffAfterLoop = false; // register 3 = FFh after the loop
    UpperLatches ProgramUpper{0x100, 0x10000, false};
    void (*ProgramPage)(uint32_t page) = nullptr; // at every 16 KB page
    int (*Datum)() = ProgramDatum; // programs ExpectedValue at ChipAddress: 1 or -1
    // Pulse-verify.
    PulseRoutine Pulse = PulseStrobe;
    bool ReadBack = true;          // verify after each pulse
    bool ReadBackEverySocket = false; // with gang sockets: every socket in turn
    bool ReadBackEverySocketAlways = false; // also with one socket
    uint32_t MaskAfterEverySocket = 0; // register 3 after the socket loop
    bool OverPulse = true;
    bool RetryInclusive = false;   // up to Retry pulses instead of Retry - 1
    bool SkipBlank = true;         // data equal to the blank value are skipped
    uint32_t ReadBackStrobe = 0x0F; // register 4 value of the read-back
    bool ReadBackWithSocketMask = false; // read-back with register 3 = 0, then FFh
};

// The profile the helpers follow; set by the entries of a row.
extern FrameProfile ActiveFrame;
void FrameUse(const FrameProfile& profile);

// The variant tables of the frame's first module (one row per DeviceVariant).
struct EpromEraseVariant {
    uint8_t PulseSwitchesVpp;
    uint8_t GangReadBack;
    uint8_t AllSocketsDuringProgram;
    uint8_t Reserved;
    PulseRoutine Pulse;
};
constexpr int EpromEraseVariantCount = 13;
// The row of the current DeviceVariant (variant 0 for a variant past the table).
const EpromEraseVariant& EpromVariantOf(const EpromEraseVariant* table);

// 1 when more than one socket is in use.
bool GangInUse();
// The socket mask that selects socket s alone.
uint32_t NotSocket(uint32_t s);

// The address walk of every loop: DeviceStart..DeviceEnd with the progress
// step, then datum(first) for ChipAddress (1 goes on; any other result ends
// the walk with it); the buffer bank moves on when BufferIndex passes
// lastIndex and advance is set.
template <class Datum>
int WalkAddresses(uint32_t lastIndex, int advance, Datum&& datum) {
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        int result = StepProgress(ChipAddress);
        if (result == 1) result = datum(a == DeviceStart);
        if (result != 1) return result;
        if (BufferIndex > lastIndex && AdvanceToNextBankIf(advance) != 1) return -1;
    }
    return 1;
}

// Power-up by mode (1 = programming supply, else the read supply) and
// power-down, as the active profile says.
void PowerOnDevice(int mode);
void PowerOffDevice();

// register 4 = read strobe, ReadValue = register 6 (and register 7 shl 8 for
// 16-bit profiles).
void ReadDatum();
// Writes the datum to program: register 6 (and 7).
void WriteDataRegisters(uint32_t value);
// The upper address latches at address as u says.
void WriteUpperAddress(const UpperLatches& u, uint32_t address, bool first);
// The buffer word at index, byte-swapped with ByteSwap.
uint32_t BufferWordAt(uint32_t index);

// The read loop over DeviceStart..DeviceEnd in a read mode.
int ReadRange(int mode);
// The program loop over DeviceStart..DeviceEnd; zeroFill 1 programs 00h.
int ProgramRange(int zeroFill);

// The electrical-erase walk: one erase pulse at the start, then every address
// from DeviceStart to DeviceEnd is read and pulsed again until it reads
// blank, at most maxPulses pulses in all. erasePulse gives one pulse.
// 1 when every address read blank, -1 at the pulse limit, 3 on user break.
int EraseWalk(uint32_t maxPulses, uint32_t blank, void (*erasePulse)());
// The chip erase of the electrically erasable EPROMs of the first module
// (the maker's voltage, pulse and limit), with the row's variant table.
int EraseChip(const EpromEraseVariant* table);
// One 100 ms erase pulse at 12.0 V, with the row's variant table.
int EraseChipOnce(const EpromEraseVariant* table);

// Back to the start-up state of this area.
void ResetMemoryFrameState();
