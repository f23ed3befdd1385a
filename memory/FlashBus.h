// The flash bus of the JEDEC command-set flash images, as the rows see it:
// address latches 0-2, socket /CE mask 3 (active low), line patterns 4, read
// loop 5, data 6-7, auto-command mode 8 (after an address load the next three
// register-6 writes go to the image's command addresses), mode lines 7 and 9.
//
// The steps every flash-bus row is built from: the power-up table, park and
// power-down, command cycles with the row's unlock address pair, the program
// cycle of a datum, the DQ7 and DQ6 polls, the read and program walks. Rows
// state their differences as data (PowerUp, UnlockPair, LinePatterns).
#pragma once
#include <cstdint>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "memory/Gang.h"
#include "memory/MemoryFrame.h"

namespace flashbus {

// The register-4 line patterns of an image: the byte-wide images' names, or
// the 16-bit images' names of the same lines.
struct LinePatterns {
    uint32_t Released; // every line released
    uint32_t Idle;     // powered idle: /OE and /WE high
    uint32_t Write;    // write mode: each register-6 write one /WE pulse
    uint32_t Strobe;   // one read strobe
    uint32_t Loop;     // the read loop
};
constexpr LinePatterns kByteLines{0x93, 0xD3, 0xDD, 0xDF, 0xDB};
constexpr LinePatterns kWordLines{0x92, 0x93, 0x9D, 0x9F, 0x9B};

// A row's power-up table: supply range, DAC levels (channels 1 and 2: the
// high voltage), mode registers, the start address, the patterns and
// settling times, and how the row's command cycles address the part.
struct PowerUp {
    int RangeMode = 0;
    int RangeTenths = 0;
    int Dac = 0;
    int Reg7 = -1;               // -1: not written
    int Reg9 = -1;               // -1: not written
    bool Reg9First = false;      // before the address latches
    uint32_t Latches = 7;        // bit r: register r loaded from DeviceStart
    uint32_t Released = 0x93;    // register 4 before the supply goes on
    bool Reg8 = true;            // register 8 = 4 (normal)
    int SupplyBump = 0;          // added to the supply before it goes on
    uint32_t SettleMs = 1;
    int Idle = 0xD3;             // register 4 once powered (-1: not written)
    uint32_t IdleMs = 0;
    uint32_t Park = 0x93;        // register 4 at power-down
    // Command cycles: bits 0-7 copied to 8-15 (the byte-mode parts of some
    // rows), and how many address latches they load (2: registers 0-1).
    bool Doubling = false;
    int CommandLatches = 3;
    const LinePatterns* Lines = &kByteLines;
};

// The frame profile of the flash-bus rows: 16-bit data with `word`, register
// 2 without a high-address flag.
void UseFrame(bool word);

// The supply of a mode: 1 the programming supply, else the read supply.
uint32_t Supply(int mode);
// Powers the socket up as the table says (SupplyVoltage set by the caller).
void PowerOn(const PowerUp& p);
// register 4 = the table's park pattern, register 3 = FFh: every socket
// deselected.
void Park();
// Supply and ground off, the programmer's outputs back to rest.
void SupplyOff();
// Park, then SupplyOff.
void PowerOff();

// The line patterns of the row powered last.
const LinePatterns& Lines();

// The two addresses of a row's command sequences: AAh goes to First, 55h to
// Second, the command to First.
struct UnlockPair {
    uint32_t First;
    uint32_t Second;
};
constexpr UnlockPair kUnlock5555{0x5555, 0x2AAA};
constexpr UnlockPair kUnlock555{0x555, 0x2AA};

// One command write at address a (with the row's doubling); bothBytes puts
// the byte on register 7 first (a word part taking commands on both bytes).
void CommandCycle(uint32_t a, uint32_t d, bool bothBytes = false);
// AAh, 55h and the command at the pair's addresses.
void Unlock(UnlockPair pair, uint32_t command, bool bothBytes = false);
// 80h then 10h, each behind the unlock cycles.
void ChipEraseCommands(UnlockPair pair, bool bothBytes = false);

uint32_t ReadData(bool word);
// One read strobe: the strobe pattern, the datum, back to write mode.
uint32_t StrobedDatum(bool word = false);
// A datum to program: register 7 first for words, register 6 is the cycle.
void WriteDatum(uint32_t v, bool word);

// What goes before the datum of a program cycle.
enum class Prefix {
    None,    // a fast or bypass mode entered once
    Command, // the program command alone (unlock bypass)
    Auto,    // AAh, 55h and the command (auto-command mode)
};
// The program cycle of ExpectedValue at ChipAddress: the low address byte,
// write mode, the prefix on register 6 (register 7 too with bothBytes), the
// datum.
void ProgramCycle(bool word, Prefix prefix, uint32_t command = 0xA0, bool bothBytes = false);

// The polls leave the datum they read last in ReadValue (of a 16-bit part,
// with `word`, the whole word when the poll gives up), so a failed datum's
// fail-address line shows what the part gave.
// Up to `reads` reads until DQ7 shows bit 7 of the datum; each read a read
// strobe when strobed, else register 6 as the lines stand.
bool PollDq7(uint32_t reads, uint32_t datum, bool strobed = false, bool word = false);
// One read, then up to `reads` reads until DQ6 reads the same twice running.
bool PollToggle(uint32_t reads, bool word = false);
// The DQ7 poll of every gang socket in turn (one socket: as it stands).
bool PollDq7EverySocket(uint32_t reads, uint32_t datum, bool word = false);

// The wait of a chip erase with gang sockets: the socket whose turn it is
// reads bit 7 of a read strobe in each 100 ms pass until it is set, then the
// next socket takes its turn; limit passes in all.
int EraseEverySocket(uint32_t limit, bool word);

// A sector's protect state in the autoselect mode: AAh at 555h, 55h at 2AAh,
// 90h at 555h (in the sector, address a, with atSector), then bit 0 of the
// datum at the sector with A1 set.
uint32_t AutoselectSectorState(uint32_t a, bool atSector, bool word);

// One /WE pulse at `address` in the high-voltage pattern (53h) with `pin`
// at the protection voltage, lasting wait(); 10 us settling either side.
template <class Wait> void HighVoltagePulse(int pin, uint32_t address, Wait&& wait) {
    WriteAddress(address);
    DelayUsSlot(10);
    SetSupplyPinA(pin, 1);
    WriteRegister(4, 0x53);
    wait();
    WriteRegister(4, 0xD3);
    SetSupplyPinA(pin, 0);
    DelayUsSlot(10);
}

// The read walk: register 4 = pattern, register 5 = loopMode, register 2 at
// every 64K boundary, one datum per address; before(first) for the row's own
// step.
template <class Before> int ReadLoop(int mode, bool word, uint32_t pattern, uint32_t loopMode, Before&& before) {
    WriteRegister(4, pattern);
    WriteRegister(5, loopMode);
    return WalkAddresses(word ? 0x7FFF : 0xFFFF, mode != 0, [&](bool first) {
        before(first);
        if (ChipAddress % 0x10000 == 0 && !first) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        ReadValue = ReadData(word);
        return word ? ProcessReadWord(mode) : ProcessReadByte(mode);
    });
}
inline int ReadLoop(int mode, bool word, uint32_t pattern, uint32_t loopMode = 1) {
    return ReadLoop(mode, word, pattern, loopMode, [](bool) {});
}

// The upper address latches of the program walks: at their boundaries and
// at the first address, whose command cycles before the walk moved them.
constexpr UpperLatches kProgramLatches{0x100, 0x10000, true};

// The program walk: latches, the buffer datum into ExpectedValue (a blank
// one is skipped), datum() for the rest (1 goes on).
template <class Before, class Datum> int ProgramLoop(bool word, Before&& before, Datum&& datum) {
    return WalkAddresses(word ? 0x7FFF : 0xFFFF, 1, [&](bool first) {
        before(first);
        WriteUpperAddress(kProgramLatches, ChipAddress, first);
        ExpectedValue = word ? BufferWordAt(BufferIndex) : BufferWindow[BufferIndex & 0xFFFF];
        if (ExpectedValue != (word ? BlankWord : 0xFFu) && datum() != 1) return -1;
        BufferIndex += AddressStep;
        return 1;
    });
}
template <class Datum> int ProgramLoop(bool word, Datum&& datum) {
    return ProgramLoop(word, [](bool) {}, datum);
}

} // namespace flashbus
