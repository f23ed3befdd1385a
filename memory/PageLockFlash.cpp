// Row 74: 16-bit command flash without a programming voltage: page write
// 41h of Page words, the status program error bit 4, chip erase A7h/D0h
// (adapter 'd') or block erase 20h/D0h over the boot-block layout of the
// variant (adapter 'i': 45 bottom, 46 top; the erase error bit 5 read after
// each block: a locked block fails the erase once every other block is
// erased), lock bits set by 77h/D0h and read through 71h (bit 6 set:
// unlocked). Registers 0-2 address, 3 socket mask, 4 line pattern (0Bh
// read, 09h command mode, 03h word read), 5 bus mode (0 addressed, 3
// sequential read), 6 and 7 data bits 0-7 and 8-15 (a register-6 write is
// the write cycle).
//
// The page length is checked before power-up (a power of two up to 128
// dividing the chip start); word i of a page goes to register 0 =
// (address + i) & FFh and comes from BufferIndex + i x AddressStep; the last
// page ends at the chip end.
#include "memory/PageLockFlash.h"

#include <array>
#include <vector>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/Tables.h"
#include "engine/RowDef.h"
#include "memory/BufferFlash.h"
#include "memory/CommandBus.h"
#include "memory/Gang.h"
#include "memory/MemoryFrame.h"
#include "memory/SectorProtection.h"

namespace {

// Block starts in units of 4096 words, the end last.
constexpr std::array<uint32_t, 20> BlockStartTable74Bottom = {0,  2,  3,  4,  8,  16, 24,  32,  40,  48,
                                                              56, 64, 72, 80, 88, 96, 104, 112, 120, 128};
constexpr std::array<uint32_t, 20> BlockStartTable74Top = {0,  8,  16, 24, 32,  40,  48,  56,  64,  72,
                                                           80, 88, 96, 104, 112, 120, 124, 125, 126, 128};

void PowerUp74(int mode) {
    FrameUse(FrameProfile{});
    cmdbus::PowerOn(mode, {.RangeTenths = static_cast<int>(cmdbus::Supply(mode)), .Idle = {{{3, 0xFF}, {4, 0x0B}, {5, 0}}}});
}

void PowerDown74() { cmdbus::PowerDown({{{4, 0x0B}, {3, 0xFF}}}, true); }

// Power-up for programming, erasing and locking: every socket, command mode.
void CommandMode74() {
    PowerUp74(1);
    WriteRegister(3, 0);
    WriteRegister(4, 0x09);
}

uint32_t ReadWord74() {
    return cmdbus::StrobedRead(0x03, 0x09, true);
}
void Command74(uint32_t c) { WriteRegister(6, c); }
constexpr cmdbus::StatusAccess kStatus74{.Read = ReadWord74, .Command = Command74};

// Up to tries reads of the status, 100 us apart, for bit 7: 1 or -1.
int ReadyPoll(int tries) {
    for (int n = 0; n < tries; ++n) {
        DelayShortUs(100);
        if (ReadWord74() & 0x80) return 1;
    }
    return -1;
}

// Up to 50 erase waits of 100 ms for bit 7: 1, -1 or the user's break.
int EraseWait74() {
    return ErasePasses(50, [] { return (ReadWord74() & 0x80) != 0; }, 1);
}

void BlockAddress(uint32_t start) {
    WriteRegister(1, (start << 4) & 0xFF);
    WriteRegister(2, start >> 4);
}

// After a page that failed: the array read back (FFh) word by word up to the
// first word that does not hold its datum; the buffer index, ReadValue and
// ExpectedValue are left on it, so the fail-address lines name that word
// with what the part holds there and the buffer's datum. A page that reads
// back whole (or a gang's page) leaves them on its first word with the last
// status read.
void LocateFailedWord(uint32_t n) {
    ExpectedValue = BufferWordAt(BufferIndex);
    // Gang sockets read together would drive the bus against each other;
    // their run names no address anyway.
    if (GangInUse()) return;
    WriteRegister(4, 0x09);
    WriteRegister(6, 0x50);
    WriteRegister(6, 0xFF);
    const uint32_t status = ReadValue;
    for (uint32_t i = 0; i < n; ++i) {
        WriteRegister(0, (ChipAddress + i) & 0xFF);
        const uint32_t want = BufferWordAt(BufferIndex + i * AddressStep);
        const uint32_t word = ReadWord74();
        if (word != want) {
            BufferIndex += i * AddressStep;
            ExpectedValue = want;
            return;
        }
    }
    ReadValue = status;
}

// One page of n words at ChipAddress: 1, or -1 on a time-out or bit 4.
int PageProgram(uint32_t n) {
    WriteRegister(4, 0x09);
    WriteRegister(6, 0x41);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t word = BufferWordAt(BufferIndex + i * AddressStep);
        WriteRegister(0, (ChipAddress + i) & 0xFF);
        WriteRegister(7, (word >> 8) & 0xFF);
        WriteRegister(6, word & 0xFF);
    }
    if (ReadyPoll(1500) == 1 && (ReadValue & 0x10) == 0) return 1;
    LocateFailedWord(n);
    return -1;
}

int Alg74Program() {
    if (!BufferLengthServed()) return -1;
    CommandMode74();
    const int r = WalkBuffers(PageProgram);
    PowerDown74();
    return r;
}

int Alg74Read(int mode) {
    PowerUp74(2);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0B);
    WriteRegister(5, 3);
    const int r = WalkAddresses(0x7FFF, mode != 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0, 0x10000, false}, ChipAddress, first);
        const uint32_t low = ReadRegister(6);
        ReadValue = low | ReadRegister(7) << 8;
        return ProcessReadWord(mode);
    });
    PowerDown74();
    return r;
}

// The start table of the block erase: nullptr for a variant without one.
const std::array<uint32_t, 20>* StartTable74() {
    if (DeviceVariant == 45) return &BlockStartTable74Bottom;
    if (DeviceVariant == 46) return &BlockStartTable74Top;
    return nullptr;
}

int Alg74Erase() {
    const bool chip = AdapterCode == 'd';
    const auto* table = StartTable74();
    if (!Row74EraseServed(AdapterCode, DeviceVariant)) {
        ShowMessageLine(" Adapter %c with algorithm variant %u is not supported.", static_cast<char>(AdapterCode),
                        static_cast<unsigned>(DeviceVariant));
        return -1;
    }
    CommandMode74();
    int r = 1;
    if (chip) {
        WriteRegister(6, 0xA7);
        WriteRegister(6, 0xD0);
        r = EraseWait74();
        if (r == 1) r = cmdbus::CheckEraseStatus(ReadValue, kStatus74, cmdbus::kWholeChip);
    } else {
        // Every block is erased: a locked block (or one that did not erase)
        // sets the erase error bit and gets its line, and the erase fails
        // after the last block, naming the first such block with what its
        // first word still holds. A time-out or the user's break ends it.
        bool failed = false;
        uint32_t kept = 0;
        for (uint32_t k = 0; k < 19 && r == 1; ++k) {
            const uint32_t start = (*table)[k];
            BlockAddress(start);
            WriteRegister(6, 0x20);
            WriteRegister(6, 0xD0);
            r = EraseWait74();
            if (r != 1 && r != -1) break;
            // The check clears the status of a failed block itself.
            const bool blockFailed =
                r == 1 && cmdbus::CheckEraseStatus(ReadValue, kStatus74, {start * 4096, (*table)[k + 1] * 4096 - 1}) != 1;
            if (!blockFailed) WriteRegister(6, 0x50);
            // Gang sockets read together would drive the bus against each
            // other; their run names no address anyway.
            if (blockFailed && !failed && !GangInUse()) {
                WriteRegister(6, 0xFF);
                WriteRegister(0, 0);
                kept = ReadWord74();
                NameEraseFailAddress(start * 4096);
            }
            failed = failed || blockFailed;
        }
        if (failed) {
            ReadValue = kept;
            if (r == 1) r = -1;
        }
    }
    PowerDown74();
    return r;
}

} // namespace

int ReadBlockProtection74(uint32_t* states, uint32_t count, const uint32_t* starts) {
    PowerUp74(2);
    WriteRegister(3, ProtectionReadMask());
    WriteRegister(4, 0x09);
    WriteRegister(0, 0);
    WriteRegister(6, 0x71);
    for (uint32_t i = 0; i < count; ++i) {
        BlockAddress(starts[i]);
        states[i] = (ReadWord74() & 0x40) != 0 ? 0 : 1;
    }
    PowerDown74();
    return 1;
}

int WriteBlockProtection74(const uint32_t* states, uint32_t count, const uint32_t* starts) {
    CommandMode74();
    int r = 1;
    for (uint32_t i = 0; i < count && r == 1; ++i) {
        if (states[i] == 0) continue;
        BlockAddress(starts[i]);
        WriteRegister(6, 0x77);
        WriteRegister(6, 0xD0);
        r = ReadyPoll(1500);
    }
    PowerDown74();
    if (r != 1) return -1;
    // A lock the writer cannot open shows in the read-back.
    std::vector<uint32_t> now(count);
    ReadBlockProtection74(now.data(), count, starts);
    for (uint32_t i = 0; i < count; ++i) {
        if (now[i] != (states[i] != 0 ? 1u : 0u)) return -1;
    }
    return 1;
}

namespace {
std::string EraseServed74(uint32_t, const RowRecordFacts& r) {
    if (Row74EraseServed(r.Adapter, r.Variant)) return "";
    return "adapter " + std::to_string(r.Adapter) + " with variant " + std::to_string(r.Variant) +
           " has no erase in algorithm 74";
}
} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 74,
     .Read = Alg74Read,
     .Program = Alg74Program,
     .Erase = EraseNamingProtectedSectors<Alg74Erase>,
     .Options = Alg6Options,
     .LeastPage = 1,
     .MostPage = 128,
     .RecordCheck = EraseServed74,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
};

ROW_FAMILY("PageLockFlash", Memory, 290, kAlgorithmRows);
