// Rows 25 and 54: 16-bit command flash on the byte data register. Registers
// 0-2 address bits 0-7, 8-15, 16-23 (row 25: register 2 ORed with the
// high-address flag, 10h for variant 0), 3 socket mask, 4 line pattern (0Ah
// released, 0Bh read and identifier strobe, 09h identifier command mode, 0Dh
// command mode, 0Fh status read), 5 bus mode (4 addressed, 6 commands, 7
// read, 0Fh buffer data; the image steps the address after each word of the
// last two), 6 the byte of each cycle.
//
// Every loop latches the chip start first and reads with the current
// socket's mask. Row 54's buffer length is Page words: a power of two up to
// 128 that divides the chip start; the last buffer ends at the chip end.

#include <algorithm>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/BufferFlash.h"
#include "memory/CommandBus.h"
#include "memory/MemoryFrame.h"

namespace {

// Set at every power-up.
struct ByteLaneModule {
    int VppPin = 5;
    uint32_t Flag = 0; // ORed into register 2
};
ByteLaneModule g;

constexpr UpperLatches kUpper{0x100, 0x10000, true};

void Use(uint32_t flag) {
    FrameProfile p;
    p.HighAddressFlag = flag;
    FrameUse(p);
    g.Flag = flag;
    g.VppPin = AdapterCode == 'P' ? 3 : 5;
}

uint32_t Flag25() { return DeviceVariant == 0 ? 0x10 : 0; }

void PowerUp(int mode) {
    cmdbus::PowerOn(mode, {.RangeTenths = cmdbus::Supply(mode) >= 33 ? 33 : 27,
                           .Dac = static_cast<int>(Vpp / 10),
                           .HighAddressFlag = g.Flag,
                           .Idle = {{{3, 0xFF}, {4, 0x0A}, {5, 4}}},
                           .Powered = {{{4, 0x0B}}}});
}

void PowerDown() { cmdbus::PowerDown({{{4, 0x0A}, {3, 0xFF}}}, true); }

// Programming supply on, command mode, every socket.
void CommandMode(int mode) {
    PowerUp(mode);
    SetSupplyPinA(g.VppPin, 1);
    DelayShortUs(100);
    WriteRegister(4, 0x0D);
    WriteRegister(5, 6);
    WriteRegister(3, 0);
}

void EndCommandMode() {
    SetSupplyPinA(g.VppPin, 0);
    PowerDown();
}

// Up to tries reads of the status for exactly 80h (ready, no error bit);
// ReadValue keeps the last status read, which a failed write reports.
int StatusPoll(int tries) {
    WriteRegister(4, 0x0F);
    int r = -1;
    for (int n = 0; n < tries && r != 1; ++n) {
        ReadValue = ReadRegister(6);
        if (ReadValue == 0x80) r = 1;
    }
    WriteRegister(4, 0x0D);
    return r;
}

void WriteBytes(uint32_t word) {
    WriteRegister(6, word & 0xFF);
    WriteRegister(6, (word >> 8) & 0xFF);
}

uint32_t EraseStatus() { return cmdbus::StrobedRead(0x0F, 0x0D); }
void EraseCommand(uint32_t c) { WriteRegister(6, c); }

// register 2 = value, then the erase command pair and up to 900 waits of
// 100 ms for the ready bit: 1, -1 (time-out) or the user's break.
int EraseAndWait(uint32_t reg2, uint32_t command) {
    WriteRegister(2, reg2);
    WriteRegister(6, command);
    WriteRegister(6, 0xD0);
    return ErasePasses(
        900,
        [] {
            WriteRegister(6, 0x70);
            return (EraseStatus() & 0x80) != 0;
        },
        1);
}

// After a wait that ended ready: the status of what was erased (a die or
// block at span); -1 with its line when the part failed it.
int Erased(int waited, const cmdbus::EraseSpan& span) {
    constexpr cmdbus::StatusAccess status{.Read = EraseStatus, .Command = EraseCommand};
    return waited == 1 ? cmdbus::CheckEraseStatus(ReadValue, status, span) : waited;
}

// Folds the erase of one die or block into the result r: a time-out fails
// the erase and the next one goes on (true); a break ends it with its
// result (false).
bool FoldErase(int& r, int step) {
    if (step == -1) r = -1;
    if (step == 1 || step == -1) return true;
    r = step;
    return false;
}

int ReadBytes(int mode) {
    PowerUp(2);
    WriteRegister(5, 7);
    WriteRegister(3, NotSocket(CurrentSocket));
    const int r = WalkAddresses(0x7FFF, mode != 0, [&](bool first) {
        WriteUpperAddress(kUpper, ChipAddress, first);
        const uint32_t low = ReadRegister(6);
        ReadValue = low + 256 * ReadRegister(6);
        return ProcessReadWord(mode);
    });
    PowerDown();
    return r;
}

// ---- row 25 --------------------------------------------------------------

int Alg25Identify() {
    Use(Flag25());
    PowerUp(2);
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    WriteRegister(2, g.Flag);
    WriteRegister(4, 0x09);
    WriteRegister(5, 6);
    WriteRegister(3, 0);
    for (uint32_t a : {0u, 1u}) {
        WriteRegister(6, 0x90);
        WriteRegister(0, a);
        WriteRegister(4, 0x0B);
        (a == 0 ? ChipMakerId : ChipDeviceId) = ReadRegister(6);
        WriteRegister(4, 0x09);
    }
    PowerDown();
    return 1;
}

int Alg25Read(int mode) {
    Use(Flag25());
    return ReadBytes(mode);
}

int Alg25Program() {
    Use(Flag25());
    CommandMode(1);
    const int r = WalkAddresses(0x7FFF, 1, [](bool first) {
        WriteUpperAddress(kUpper, ChipAddress, first);
        ExpectedValue = BufferWordAt(BufferIndex);
        if (ExpectedValue != BlankWord) {
            WriteRegister(6, 0xFB);
            WriteAddressLow(ChipAddress);
            WriteBytes(ExpectedValue);
            if (StatusPoll(10) != 1) return -1;
        }
        BufferIndex += AddressStep;
        return 1;
    });
    EndCommandMode();
    return r;
}

// Each die by A7h/D0h; a die that times out fails the erase, the next is
// still erased.
int Alg25Erase() {
    Use(Flag25());
    CommandMode(1);
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    int r = 1;
    const uint32_t dies = DeviceVariant == 1 ? 2 : 1;
    for (uint32_t k = 0; k < dies; ++k) {
        const uint32_t size = DeviceSize / dies;
        if (!FoldErase(r, Erased(EraseAndWait((k << 4) | g.Flag, 0xA7), {k * size, (k + 1) * size - 1}))) break;
    }
    EndCommandMode();
    return r;
}

// ---- row 54 --------------------------------------------------------------

// One buffer of n words at the current address. The status cannot tell
// which word failed: a failed buffer names its first word, ExpectedValue
// that word's datum.
int BufferWrite(uint32_t n) {
    ExpectedValue = BufferWordAt(BufferIndex);
    WriteRegister(6, 0xE8);
    StatusPoll(100);
    WriteRegister(6, 2 * n - 1);
    WriteRegister(5, 0x0F);
    for (uint32_t i = 0; i < n; ++i) WriteBytes(BufferWordAt(BufferIndex + i * AddressStep));
    WriteRegister(5, 6);
    WriteRegister(6, 0xD0);
    return StatusPoll(100);
}

int Alg54Read(int mode) {
    Use(0);
    return ReadBytes(mode);
}

int Alg54Program() {
    if (!BufferLengthServed()) return -1;
    Use(0);
    CommandMode(1);
    const int r = WalkBuffers(BufferWrite);
    EndCommandMode();
    return r;
}

// 64 blocks of 32768 addresses whatever the size; a block that times out
// fails the erase, the next is still erased. A part of fewer blocks has no
// address line for the high ones: they are its own blocks again, and a
// failed block is named once, at its own address.
int Alg54Erase() {
    Use(0);
    CommandMode(1);
    WriteRegister(0, 0);
    WriteRegister(1, 0);
    int r = 1;
    const uint32_t partBlocks = std::clamp<uint32_t>(DeviceSize >> 15, 1, 64);
    uint64_t named = 0;
    for (uint32_t k = 0; k < 64; ++k) {
        const uint32_t h = k / 32, b = k % 32, own = k % partBlocks;
        ShowMessageLine(" Block #%02d ..", k);
        WriteRegister(1, (b << 7) & 0xFF);
        const int waited = EraseAndWait((b >> 1) | (h << 4), 0x20);
        DeleteLastMessageLines(1);
        const LogLineHandle before = LogLineCount();
        const int block = Erased(waited, {own << 15, (own << 15) | 0x7FFF});
        if (block == -1 && waited == 1) {
            if ((named >> own) & 1) DeleteLastMessageLines(static_cast<int>(LogLineCount() - before));
            named |= uint64_t{1} << own;
        }
        if (!FoldErase(r, block)) break;
    }
    EndCommandMode();
    return r;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 25, .Identify = Alg25Identify, .Read = Alg25Read, .Program = Alg25Program, .Erase = Alg25Erase},
    {.Row = 54,
     .Read = Alg54Read,
     .Program = Alg54Program,
     .Erase = Alg54Erase,
     .LeastPage = 1,
     .MostPage = 128,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
};

ROW_FAMILY("ByteLaneFlash", Memory, 280, kAlgorithmRows);
