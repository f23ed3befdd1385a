// Rows 37 and 39 on the 16-bit command bus: write-to-buffer flash (E8h, the
// word count less one, the words, D0h) with block erase 20h/D0h or chip
// erase 30h/D0h. Address latches 0-2, socket mask 3, line patterns 4 (9Fh
// powered, 99h command mode, 8Fh strobed read, 0Fh read loop, 1Fh
// released), bus mode 5 (9 read loop), data 6 (bits 0-7) and 7 (bits 8-15,
// its write ends the cycle), timing 8 and 9.
//
// Program does not wait for a buffer to finish: the next E8h is repeated
// until the part has a free buffer. The buffer length is Page words: a power
// of two up to 128 (the buffer window holds a bank and 256 bytes more) that
// divides the chip start, so register 1 is written at every 256-word
// boundary; the last buffer ends at the chip end.
#include "memory/BufferFlash.h"

#include <algorithm>

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
#include "memory/CommandBus.h"
#include "memory/MemoryFrame.h"

namespace {

bool PackageHasVpp() { return PackageRow(PackageIndex).VppPin != 0; }

void PowerUp(int mode) {
    const int programming = mode == 1 ? static_cast<int>(Vpp / 10) : static_cast<int>(ReadVccInUse);
    cmdbus::PowerOn(mode, {.RangeTenths = 33, .Idle = {{{3, 0xFF}, {4, 0x9F}, {5, 0}}}, .Powered = {{{8, 1}}}});
    if (PackageHasVpp()) SetDeviceVpp(1, programming);
    WriteRegister(8, 2);
    WriteRegister(9, 1);
    DelayMsSlot(1);
}

void PowerDown() {
    WriteSequence({{{4, 0x1F}, {3, 0xFF}}});
    if (PackageHasVpp()) SetDeviceVpp(0, 50);
    DelayShortUs(100);
    cmdbus::SupplyOff();
}

// A word: register 6, then register 7 (the write cycle).
void WriteWord(uint32_t w) {
    WriteRegister(6, w & 0xFF);
    WriteRegister(7, (w >> 8) & 0xFF);
}

uint32_t ReadWord() { return cmdbus::StrobedRead(0x8F, 0x99, true); }
constexpr cmdbus::StatusAccess kStatus{.Read = ReadWord, .Command = WriteWord};

// Up to tries word reads for bit 7, each after waitMs (shown when asked,
// in tenths of a second, with the user's break): 1, -1 or the break.
int ReadyWait(uint32_t tries, uint32_t waitMs, bool show) {
    for (uint32_t n = 1; n <= tries; ++n) {
        if (waitMs != 0) {
            DelayMsSlot(waitMs);
            if (show) {
                const int r = ShowElapsedAndCheckCancel(n / 100);
                if (r != 1) return r;
            }
        }
        if (ReadWord() & 0x80) return 1;
    }
    return -1;
}

// One buffer of n words at address a.
int BufferWrite(uint32_t a, uint32_t n) {
    WriteRegister(0, a & 0xFF);
    bool free = false;
    for (int k = 0; k < 1000 && !free; ++k) {
        WriteWord(0xE8);
        free = (ReadWord() & 0x80) != 0;
    }
    if (!free) return -1;
    WriteWord(n - 1);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t word = BufferWordAt(BufferIndex + i * AddressStep);
        WriteRegister(0, (a + i) & 0xFF);
        WriteWord(word);
    }
    WriteWord(0xD0);
    return 1;
}

int Alg37Identify() {
    PowerUp(2);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x99);
    WriteRegister(1, 0);
    WriteRegister(2, 0);
    WriteRegister(0, 0);
    WriteWord(0x90);
    ChipMakerId = ReadWord();
    WriteRegister(0, 1);
    WriteWord(0x90);
    ChipDeviceId = ReadWord();
    PowerDown();
    return 1;
}

int Alg37Program() {
    if (!BufferLengthServed()) return -1;
    FrameUse(FrameProfile{});
    PowerUp(1);
    WriteRegister(3, 0);
    WriteRegister(4, 0x99);
    int r = WalkBuffers([](uint32_t words) { return BufferWrite(ChipAddress, words); });
    if (r == 1) r = ReadyWait(1000, 0, false);
    PowerDown();
    return r;
}

int Alg37Read(int mode) {
    FrameUse(FrameProfile{});
    PowerUp(mode);
    WriteRegister(5, 9);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x0F);
    const int r = WalkAddresses(0x7FFF, mode != 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        const uint32_t low = ReadRegister(6);
        ReadValue = low | ReadRegister(7) << 8;
        return ProcessReadWord(mode);
    });
    PowerDown();
    return r;
}

int Alg37Erase() {
    const bool chipErase = DeviceSubVariant != 0;
    if (!chipErase && DeviceVariant >= BufferFlashBlockVariantCount) {
        ShowMessageLine(" Algorithm variant %u is not supported.", static_cast<unsigned>(DeviceVariant));
        return -1;
    }
    FrameUse(FrameProfile{});
    PowerUp(1);
    WriteRegister(3, 0);
    WriteRegister(4, 0x99);
    WriteRegister(0, 0);
    int r = 1;
    if (chipErase) {
        WriteWord(0x70);
        r = ReadyWait(1000, 0, false);
        if (r == 1) {
            WriteWord(0x30);
            WriteWord(0xD0);
            r = ReadyWait(20000, 1, true);
        }
        if (r == 1) r = cmdbus::CheckEraseStatus(ReadValue, kStatus, cmdbus::kWholeChip);
    } else {
        // From the block holding the range's first address: stepping from
        // DeviceStart itself would miss the last block a range reaches.
        // A block the part failed gets its line and fails the erase once
        // the others are erased.
        const uint32_t block = DeviceVariant == 0 ? 0x10000 : 0x8000;
        bool failed = false;
        for (uint64_t a = DeviceStart & ~(block - 1); a <= DeviceEnd && r == 1; a += block) {
            r = StepProgress(static_cast<uint32_t>(a));
            if (r != 1) break;
            WriteRegister(1, (a >> 8) & 0xFF);
            WriteRegister(2, (a >> 16) & 0xFF);
            WriteWord(0x20);
            WriteWord(0xD0);
            r = ReadyWait(1000, 10, false);
            const uint32_t first = static_cast<uint32_t>(a);
            if (r == 1 && cmdbus::CheckEraseStatus(ReadValue, kStatus, {first, first + block - 1}) != 1) failed = true;
        }
        if (r == 1 && failed) r = -1;
    }
    PowerDown();
    return r;
}

} // namespace

void LatchChipStart(uint32_t flag) {
    WriteRegister(0, DeviceStart & 0xFF);
    WriteRegister(1, (DeviceStart >> 8) & 0xFF);
    WriteRegister(2, ((DeviceStart >> 16) & 0xFF) | flag);
}

bool BufferLengthServed() {
    const uint32_t n = PageSize;
    if (n == 0 || (n & (n - 1)) != 0 || n > 128) {
        RefuseRun(" Page size %u is not supported.", static_cast<unsigned>(n));
        return false;
    }
    if (DeviceStart % n == 0) return true;
    // A buffer write fills one page of the part: the range starts on one.
    RefuseRun(" Start address must be on a page boundary!");
    return false;
}

int WalkBuffers(int (*write)(uint32_t words)) {
    const uint32_t n = PageSize;
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd && r == 1; a += n) {
        ChipAddress = static_cast<uint32_t>(a);
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, a == DeviceStart);
        const uint32_t words = InRangeFrom(a, n);
        r = write(words);
        if (r != 1) break;
        BufferIndex += words * AddressStep;
        if (BufferIndex > 0x7FFF && AdvanceToNextBankIf(1) != 1) r = -1;
    }
    return r;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 37,
     .Identify = Alg37Identify,
     .Read = Alg37Read,
     .Program = Alg37Program,
     .Erase = Alg37Erase,
     .VariantCount = BufferFlashBlockVariantCount,
     .VariantTable = "the block sizes",
     .LeastPage = 1,
     .MostPage = 128,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
    {.Row = 39,
     .Read = Alg37Read,
     .Program = Alg37Program,
     .Erase = Alg37Erase,
     .VariantCount = BufferFlashBlockVariantCount,
     .VariantTable = "the block sizes",
     .LeastPage = 1,
     .MostPage = 128,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
};

ROW_FAMILY("BufferFlash", Memory, 210, kAlgorithmRows);
