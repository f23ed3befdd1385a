// Register use of the image: 0-2 address, 3 socket mask, 4 lines (8Fh idle,
// 85h command cycles, 89h page run, C5h/CFh the same with the protect high
// voltage), 5 mode (8 idle and queue load, 0Bh page run, 9 read with
// increment), 6-7 run length (register 6 starts the run), 8 = 1 powered and
// read bit 0 run busy, 9 one write cycle or a read, 12 queue bytes.
#include "memory/StatusPageFlash.h"

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "memory/Gang.h"
#include "memory/MemoryFrame.h"
#include "memory/MuxEeprom.h"
#include "memory/SectorProtection.h"

namespace {

struct Command {
    uint32_t address, data;
};
constexpr Command kIdOn[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x90}};
constexpr Command kReset[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xF0}};
constexpr Command kPageProgram[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0xA0}};
constexpr Command kChipErase[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x80},
                                  {0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x10}};
constexpr Command kProtectPrefix[] = {{0x5555, 0xAA}, {0x2AAA, 0x55}, {0x5555, 0x60}, {0x5555, 0xAA}, {0x2AAA, 0x55}};

constexpr uint8_t kIdle = 0x8F, kCommands = 0x85, kPageRun = 0x89, kHvCommands = 0xC5, kHvIdle = 0xCF;
constexpr uint8_t kProtectCode = 0xC2;

uint32_t g_doubled = 0; // command and identification addresses twice the nominal
uint32_t g_page = 1;
uint32_t g_load = 1; // data of the page being written: the range's part of it

// The parts addressed byte-wise; every other one is a 16-bit part in byte mode.
bool ByteWisePart() { return ExpectedDeviceId == 0x82 || ExpectedDeviceId == 0x83; }

void CommandCycle(uint32_t address, uint32_t data) {
    WriteAddress16(g_doubled != 0 ? address * 2 : address);
    WriteRegister(9, data);
}

template <size_t N> void Sequence(const Command (&cycles)[N]) {
    for (const Command& c : cycles) CommandCycle(c.address, c.data);
}

// Up to `tries` reads of the status byte `waitUs` apart: ready (bit 7) and,
// in mode 1, no program error (bit 4); in mode 3 (the chip erase) a socket
// that ends with the erase-error bit (bit 5) fails the wait. With a gang
// adapter each socket is polled on its own, since the AND of several status
// bytes would hide the error bit of one. Every socket selected afterwards
// when `all` is set.
int StatusWait(uint32_t tries, uint32_t waitUs, int mode) {
    bool eraseError = false;
    const bool done = PollInTurns(tries, [&] {
        ReadValue = ReadRegister(9);
        DelayShortUsSlot(waitUs);
        const bool ready = (ReadValue & 0x80) != 0 && (mode != 1 || (ReadValue & 0x10) == 0);
        if (ready && mode == 3 && (ReadValue & 0x20) != 0) eraseError = true;
        return ready;
    });
    return done && !eraseError ? 1 : -1;
}

void PowerOn(int mode) {
    g_doubled = ByteWisePart() ? 0 : 1;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, GangCappedVccRange()); // the gang adapter's supply path
    g_page = PageSize;
    SetAllDacVoltages(120, 120, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister3(0xFF);
    WriteRegister(4, kIdle);
    WriteRegister(5, 8);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(20);
    WriteRegister(8, 1);
}

void PowerOff() { ParkAndPowerOff({{{4, kIdle}, {5, 0}, {3, 0xFF}}}, true); }

uint32_t PageDatum(uint32_t i) { return RunByteAt(i); }

int WritePage() {
    for (int attempt = 0; attempt < 3; ++attempt) {
        WriteRegister(5, 8);
        StrobeDac();
        for (uint32_t i = 0; i < g_load; ++i) WriteRegister(12, PageDatum(i));
        ExpectedValue = PageDatum(g_load - 1);
        WriteRegister(12, ExpectedValue);
        WriteRegister(4, kCommands);
        Sequence(kPageProgram);
        WriteAddress16(ChipAddress);
        WriteRegister(2, ChipAddress >> 16);
        WriteRegister(4, kPageRun);
        WriteRegister(5, 0x0B);
        StrobeDac();
        WriteRegister(7, g_load >> 8);
        WriteRegister(6, g_load & 0xFF);
        for (int i = 0; i < 5000; ++i) {
            DelayShortUsSlot(10);
            if ((ReadRegister(8) & 1) == 0) break;
        }
        WriteRegister(4, kIdle);
        WriteRegister(5, 8);
        DelayUsSlot(100);
        WriteAddress16(ChipAddress + g_load - 1);
        const int result = StatusWait(600, 10, 1);
        WriteAddress16(result == 1 ? ChipAddress + g_load : ChipAddress);
        if (result == 1) return 1;
        DelayMsSlot(100);
    }
    return -1;
}

int Alg42Program() {
    if (!PageLengthUsable(PageSize)) return -1;
    PowerOn(1);
    WriteRegister3(0);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; a += g_page) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if (a == DeviceStart || (ChipAddress & 0xFFFF) == 0) WriteRegister(2, ChipAddress >> 16);
        // A range that ends inside a page loads only its own bytes there.
        g_load = InRangeFrom(a, g_page);
        result = WritePage();
        if (result != 1) {
            BufferIndex += (g_load - 1) * AddressStep; // the page's last datum
            break;
        }
        BufferIndex += g_page * AddressStep;
        if (BufferIndex > 0xFFFF && AdvanceToNextBank() != 1) {
            result = -1;
            break;
        }
    }
    PowerOff();
    return result;
}

int Alg42Read(int mode) {
    PowerOn(mode);
    WriteRegister(5, 9);
    WriteAddress16(DeviceStart);
    WriteRegister3(NotSocket(CurrentSocket));
    const int result = WalkAddresses(0xFFFF, mode != 0, [mode](bool first) {
        if (first || (ChipAddress & 0xFFFF) == 0) WriteRegister(2, ChipAddress >> 16);
        ReadValue = ReadRegister(9);
        return ProcessReadByte(mode);
    });
    PowerOff();
    return result;
}

int Alg42Erase() {
    PowerOn(1);
    WriteRegister3(0);
    WriteRegister(4, kCommands);
    Sequence(kChipErase);
    WriteRegister(4, kIdle);
    const int result = StatusWait(40000, 1000, 3);
    WriteRegister3(0xFF);
    PowerOff();
    return result;
}

// The protect code of the sector at `start` (4 KB units), in identification
// mode with the high voltage on.
uint32_t ProtectCode(uint32_t start) {
    WriteRegister(4, kHvIdle);
    WriteRegister(0, g_doubled != 0 ? 4 : 2);
    WriteRegister(1, (start << 4) & 0xFF);
    WriteRegister(2, (start >> 4) & 0xFF);
    return ReadRegister(9);
}

void ProtectPrefix() {
    WriteRegister(4, kHvCommands);
    Sequence(kProtectPrefix);
    DelayShortUsSlot(10);
}

// Row 42's boot sectors: 82h and 84h one at the bottom, 83h and 85h one at
// the top, every other part one at each end.
bool TopBootOnly() { return ExpectedDeviceId == 0x83 || ExpectedDeviceId == 0x85; }
uint32_t BootSectorCount() { return ExpectedDeviceId >= 0x82 && ExpectedDeviceId <= 0x85 ? 1 : 2; }

// The ZIF pin taking the protect voltage from the supply switches, 0 where
// the image's high-voltage patterns bring it.
int BootProtectPin() {
    if (ExpectedDeviceId == 0x82 || ExpectedDeviceId == 0x83) return 16;
    if (ExpectedDeviceId == 0x84 || ExpectedDeviceId == 0x85) return 14;
    return 0;
}

uint32_t IdRead(uint32_t address) {
    WriteAddress16(g_doubled != 0 ? address * 2 : address);
    return ReadRegister(9);
}

} // namespace

int ReadSectorProtection42(uint32_t* states, uint32_t n, const uint32_t* /*starts*/) {
    PowerOn(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(2, 0);
    WriteRegister(4, kCommands);
    Sequence(kIdOn);
    DelayShortUsSlot(10);
    WriteRegister(4, kIdle);
    IdRead(0);
    IdRead(1);
    const uint32_t bottom = IdRead(2);
    WriteRegister(2, 0x1F);
    const uint32_t top = IdRead(2);
    WriteRegister(2, 0);
    WriteRegister(4, kCommands);
    Sequence(kReset);
    DelayShortUsSlot(10);
    WriteRegister3(0xFF);
    WriteRegister(4, kIdle);
    const uint32_t codes[2] = {BootSectorCount() == 1 && TopBootOnly() ? top : bottom, top};
    for (uint32_t i = 0; i < n && i < BootSectorCount(); ++i) states[i] = codes[i] == kProtectCode ? 1 : 0;
    PowerOff();
    return 1;
}

// Protects (20h) or unprotects (40h) each boot sector by its state, then
// reads the codes back: 1 only when the chip holds the requested states.
int WriteSectorProtection42(const uint32_t* states, uint32_t n, const uint32_t* starts) {
    const uint32_t count = BootSectorCount();
    if (n < count) {
        ShowMessageLine(" %u boot sector states for a part with %u!", n, count);
        return -1;
    }
    PowerOn(1);
    const int pin = BootProtectPin();
    if (pin != 0) SetSupplyPinA(pin, 1);
    WriteRegister3(0);
    int result = 1;
    for (uint32_t i = 0; i < count && result == 1; ++i) {
        ProtectPrefix();
        // The top boot sector is the second of two or the one of 83h/85h,
        // whichever the addressing.
        WriteRegister(2, (count == 2 ? i == 1 : TopBootOnly()) ? 0x1F : 0);
        CommandCycle(0, states[i] == 1 ? 0x20 : 0x40);
        WriteRegister(4, kHvIdle);
        result = StatusWait(1000, 100, 2);
    }
    WriteRegister(4, kIdle);
    if (pin != 0) SetSupplyPinA(pin, 0);
    WriteRegister3(0xFF);
    PowerOff();
    if (result != 1) return result;
    // A ready status says nothing of the outcome: the states read back decide.
    uint32_t found[2] = {2, 2};
    ReadSectorProtection42(found, count, starts);
    for (uint32_t i = 0; i < count; ++i) {
        if (found[i] != (states[i] == 1 ? 1u : 0u)) return -1;
    }
    return 1;
}

int ReadSectorProtection73(uint32_t* states, uint32_t n, const uint32_t* starts) {
    PowerOn(2);
    WriteRegister3(ProtectionReadMask());
    WriteRegister(4, kCommands);
    WriteRegister(2, 0);
    Sequence(kIdOn);
    DelayShortUsSlot(10);
    WriteRegister(4, kIdle);
    for (uint32_t i = 0; i < n; ++i) states[i] = ProtectCode(starts[i]) == kProtectCode ? 1 : 0;
    WriteRegister(4, kCommands);
    WriteRegister(2, 0);
    Sequence(kReset);
    DelayShortUsSlot(10);
    WriteRegister3(0xFF);
    PowerOff();
    return 1;
}

int WriteSectorProtection73(const uint32_t* states, uint32_t n, const uint32_t* starts) {
    PowerOn(1);
    WriteRegister3(0);
    int result = -1;
    // Unprotect every sector until every protect code reads 0. The part
    // takes one protect or unprotect command per prefix, so each sector gets
    // its own.
    for (int pass = 0; pass < 1024 && result != 1; ++pass) {
        for (uint32_t i = 0; i < n; ++i) {
            ProtectPrefix();
            WriteRegister(1, (starts[i] << 4) & 0xFF);
            WriteRegister(2, (starts[i] >> 4) & 0xFF);
            WriteRegister(9, 0x40);
            WriteRegister(4, kHvIdle);
            StatusWait(100, 100, 2);
        }
        result = 1;
        for (uint32_t i = 0; i < n && result == 1; ++i) {
            if (ProtectCode(starts[i]) != 0) result = -1;
        }
    }
    for (uint32_t i = 0; i < n && result == 1; ++i) {
        if (states[i] != 1) continue;
        result = -1;
        for (int attempt = 0; attempt < 1024 && result != 1; ++attempt) {
            ProtectPrefix();
            WriteRegister(1, (starts[i] << 4) & 0xFF);
            WriteRegister(2, (starts[i] >> 4) & 0xFF);
            WriteRegister(9, 0x20);
            WriteRegister(4, kHvIdle);
            StatusWait(100, 100, 2);
            if (ProtectCode(starts[i]) == kProtectCode) result = 1;
        }
    }
    WriteRegister3(0xFF);
    PowerOff();
    return result;
}

namespace {
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 42,
     .Read = Alg42Read,
     .Program = Alg42Program,
     .Erase = EraseNamingProtectedSectors<Alg42Erase>,
     .Options = Alg6Options,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
    {.Row = 73,
     .Read = Alg42Read,
     .Program = Alg42Program,
     .Erase = EraseNamingProtectedSectors<Alg42Erase>,
     .Options = Alg6Options,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
};
} // namespace

ROW_FAMILY("StatusPageFlash", Memory, 270, kAlgorithmRows);
