// The frame every parallel memory module follows on the memory bus of the
// memory logic images (registers 0-2 address, 3 socket mask active low,
// 4 strobes, 5 bus mode, 6-7 data): power-up and power-down, the address walk,
// the read loop, reading one datum, the pulse routines, pulse-verify of one
// datum with over-pulse and retry, the program loop and the electrical-erase
// walk.
//
// A family file describes each of its rows with a FrameProfile: what rows
// share (function slots, register sequences, chip facts). What only one row
// does is a named function of that family file, put into a slot or called
// around the frame's loops. Each family file ends by registering its rows.
#pragma once
#include <array>
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "memory/Gang.h"

// The pulse routines; the width is in microseconds.
using PulseRoutine = void (*)(uint32_t widthUs);
void PulseWithSocketMask(uint32_t widthUs);
void PulseWithVpp(uint32_t widthUs);
void PulseStrobe(uint32_t widthUs);

// Pulse-verify of the datum on the data lines: pulse(width), then matches();
// once it matches, the over-pulse (n x OverPulseWidth with PulseMul) when
// overPulse; at most limit - 1 pulses. 1 or -1.
template <class Pulse, class Matches>
int PulseVerify(Pulse&& pulse, Matches&& matches, bool overPulse, uint32_t limit) {
    uint32_t n = 1;
    for (; n < limit; ++n) {
        pulse(PulseWidth);
        if (matches()) {
            if (overPulse && OverPulseWidth != 0) pulse(PulseMul ? n * OverPulseWidth : OverPulseWidth);
            break;
        }
    }
    return n >= limit ? -1 : 1;
}

// One register write of a sequence; Register -1 ends it.
struct RegisterWrite {
    int Register = -1;
    uint32_t Value = 0;
};
constexpr int kSequenceLength = 4;
using RegisterSequence = std::array<RegisterWrite, kSequenceLength>;
void WriteSequence(const RegisterSequence& writes);
// The power-down the memory buses end with: the park writes, then the supply
// and the ground off and, with resetOutputs, every programmer output released.
void ParkAndPowerOff(const RegisterSequence& park, bool resetOutputs);
// register 0 = address bits 0-7.
void WriteAddressLow(uint32_t address);
// Registers 0-2 = address bits 0-7, 8-15, 16-23.
void WriteAddress(uint32_t address);
// Registers 0-1 = address bits 0-7 and 8-15, with register1Bits ORed into
// register 1 (an image's extra line there).
void WriteAddress16(uint32_t address, uint32_t register1Bits = 0);

// Where the upper address latches are written in a walk: register 1 at
// multiples of Register1Every, register 2 (with the high-address flag) at
// multiples of Register2Every (0: never), both at the first address with AtFirst.
struct UpperLatches {
    uint32_t Register1Every = 0;
    uint32_t Register2Every = 0x10000;
    bool AtFirst = false;
};

int ProgramDatum();
bool ReadBackMatches();

// What a row does inside the frame.
struct FrameProfile {
    // Chip facts.
    bool Word = false;              // 16-bit: data on registers 6 and 7
    uint32_t HighAddressFlag = 0;   // ORed into register 2
    bool SlowPulseProgress = false; // PulseWidth >= 10 ms: progress every 16 addresses
    // Power-up: before it, the row's own rules; the supply range.
    void (*BeforePowerUp)() = nullptr;
    int (*VccRange)() = nullptr;    // SetVccRange value (nullptr: the supply)
    int Dac1 = 50;                  // SetAllDacVoltages(Dac1, 0, 0, 0)
    int AddressLatches = 3;         // registers 0.. written with DeviceStart at power-up
    // Written just before the supply goes on: idle lines and bus mode.
    RegisterSequence IdleWrites = {{{3, 0xFF}, {4, 0x1F}, {5, 8}, {}}};
    uint32_t SettleMs = 100;
    RegisterSequence AfterPowerUp = {};
    // Power-down: written before the supply goes off; then the row's own step.
    RegisterSequence ParkWrites = {{{4, 0x1F}, {3, 0xFF}, {}, {}}};
    void (*AfterPowerOff)() = nullptr;
    // Read loop.
    bool ReadVpp = false;           // programming pin raised during the read
    int ReadVppTenths = -1;         // its voltage (-1: the supply voltage)
    int ReadVppOffTenths = 0;
    int ReadBusMode = 9;            // register 5 before the loop: 9 sequential, 1 strobed; -1 none
    bool ReadMaskThroughLatch = false; // the socket mask by WriteRegister3
    bool ReadStrobeFirst = true;    // register 4 = 0Fh before the loop
    void (*ReadSetup)() = nullptr;  // the row's own step before the read loop
    UpperLatches ReadUpper;
    void (*ReadPage)(uint32_t page) = nullptr; // at every 16 KB page and the first address
    void (*Read)() = nullptr;       // one datum into ReadValue (nullptr: the data registers)
    // Program loop.
    bool ProgramVpp = true;         // programming voltage on for the loop
    RegisterSequence BeforeVpp = {};
    RegisterSequence AfterVpp = {};
    void (*ProgramSetup)() = nullptr; // the row's own step before the program loop
    RegisterSequence AfterLoop = {};
    UpperLatches ProgramUpper{0x100, 0x10000, false};
    void (*ProgramPage)(uint32_t page) = nullptr; // at every 16 KB page and the first address
    int (*Datum)() = ProgramDatum;  // programs ExpectedValue at ChipAddress: 1 or -1
    // Pulse-verify.
    PulseRoutine Pulse = PulseStrobe;
    bool ReadBack = true;           // verify after each pulse
    bool (*Verify)() = ReadBackMatches; // the datum read back after a pulse is right
    bool OverPulse = true;
    uint32_t ReadBackStrobe = 0x0F; // register 4 value of the read-back
};

// The profile the helpers follow; set by the entries of a row.
extern FrameProfile ActiveFrame;
void FrameUse(const FrameProfile& profile);

// The variant table of the first module (one row per DeviceVariant).
struct EpromEraseVariant {
    uint8_t PulseSwitchesVpp;
    uint8_t GangReadBack;
    uint8_t AllSocketsDuringProgram;
    uint8_t Reserved;
    PulseRoutine Pulse;
};
constexpr int EpromEraseVariantCount = 13;
// The row of the current DeviceVariant (the library refuses variants past it;
// variant 0 stands in for one that got past).
const EpromEraseVariant& EpromVariantOf(const EpromEraseVariant* table);

// The refusal of a variant the row's table does not hold (the library
// refuses such records; this guards one that got past it): a line, -1.
int RefuseVariant();

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
// The supply voltage as SetVccRange value, 3.3 V with gang sockets at 3.4 V
// and more.
int GangCappedVccRange();

// register 4 = read strobe, ReadValue = register 6 (and register 7 shl 8 for
// 16-bit profiles).
void ReadDatum();
uint32_t ReadDataRegisters();
// Writes the datum to program: register 6 (and 7).
void WriteDataRegisters(uint32_t value);
// The read-back of every socket from 0 to LastSocketIndex, then register 3 =
// maskAfter; true when each read ExpectedValue.
bool ReadBackEverySocket(uint32_t maskAfter);
// The upper address latches at address as u says.
void WriteUpperAddress(const UpperLatches& u, uint32_t address, bool first);
// The buffer word at index of the current bank (past its end: of the next
// banks), byte-swapped with ByteSwap.
uint32_t BufferWordAt(uint32_t index);
// Datum i of a run (a page, a block) taken AddressStep apart from
// BufferIndex in the current bank: byte-wide from the byte view, 16-bit from
// the word view (byte-swapped with ByteSwap). Read through the whole image,
// so a run that a split mode's step carries past the window's tail still
// takes the next bank's data; FillByte past the image's end.
uint8_t RunByteAt(uint32_t i);
uint32_t RunWordAt(uint32_t i);
// How many of the `length` data from chip address `a` lie in the range (a
// range that ends inside a page or block writes and reads only its own).
inline uint32_t InRangeFrom(uint64_t a, uint32_t length) {
    const uint64_t left = uint64_t{DeviceEnd} + 1 - a;
    return static_cast<uint32_t>(left < length ? left : length);
}

// The read loop over DeviceStart..DeviceEnd in a read mode.
int ReadRange(int mode);
// The program loop over DeviceStart..DeviceEnd; zeroFill 1 programs 00h.
int ProgramRange(int zeroFill);

// The Read and Program entries of a row that runs the frame's loops on its
// profile: constexpr AlgReadFn Alg123Read = FrameRead<Row123Profile>;
template <FrameProfile (*Profile)()> int FrameRead(int mode) {
    FrameUse(Profile());
    return ReadRange(mode);
}
template <FrameProfile (*Profile)()> int FrameProgram() {
    FrameUse(Profile());
    return ProgramRange(0);
}

// The wait of an erase the chip times itself: pass n (from firstPass on)
// shows n as the elapsed time and offers the user's break, waits 100 ms and
// asks done(); limit passes in all. 1 once done, the break's result, or -1 at
// the limit.
template <class Done> int ErasePasses(uint32_t limit, Done&& done, uint32_t firstPass = 0) {
    for (uint32_t n = firstPass; n < firstPass + limit; ++n) {
        const int b = ShowElapsedAndCheckCancel(n);
        if (b != 1) return b;
        DelayMsSlot(100);
        if (done()) return 1;
    }
    return -1;
}

// The electrical-erase walk: every address from DeviceStart to DeviceEnd is
// read and given erasePulse() until it reads blank (the first address always
// gets one; with a gang every socket until each reads blank), at most
// maxPulses pulses in all. 1 when every address read blank, -1 at the pulse
// limit (naming the address that did not read blank, its datum in
// ReadValue), 3 on user break.
template <class ErasePulse>
int EraseWalk(uint32_t maxPulses, uint32_t blank, ErasePulse&& erasePulse) {
    uint32_t pulses = 0;
    bool dirty = true; // no datum read yet
    return WalkAddresses(0xFFFFFFFFu, 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, false}, ChipAddress, first);
        // Stay on the address until it reads blank or the pulses are used up;
        // the datum after the last pulse is checked too.
        for (;;) {
            if (dirty) {
                if (pulses >= maxPulses) {
                    NameEraseFailAddress(ChipAddress);
                    return -1;
                }
                erasePulse();
                ++pulses;
            }
            WriteAddressLow(ChipAddress);
            if (GangInUse()) {
                // Each socket read alone (parts that differ would drive the
                // data lines together); the first not blank keeps its datum.
                // Every socket selected again for the next pulse.
                dirty = !OnEverySocket(GangPass{0, true}, [blank](uint32_t) {
                    ReadDatum();
                    return ReadValue == blank;
                });
            } else {
                ReadDatum();
                dirty = ReadValue != blank;
            }
            if (!dirty) return 1;
        }
    });
}

// The chip erase of the electrically erasable EPROMs of the first module
// (the maker's voltage, pulse and limit), with the row's variant table.
int EraseChip(const EpromEraseVariant* table);
// One 100 ms erase pulse at 12.0 V, with the row's variant table.
int EraseChipOnce(const EpromEraseVariant* table);

// Back to the start-up state of this area.
void ResetMemoryFrameState();
