// Single-cycle command flash that programs one unit per 40h command on the
// 16-bit command bus (data bits 0-7 on register 6, 8-15 on register 7):
//
// - row 28: 16 equal blocks of 32768 words; register 4 0Ah released, 0Bh
//   powered, 09h command mode, 03h read; register 5 4 addressed, 5 read loop.
// - row 38: program retried up to Retry times, blocks of BlockLayoutTable38;
//   register 4 FFh powered, FDh command mode, 7Fh read, 1Fh released; every
//   command and datum written as register 7 then register 6.
// - row 26: 8- or 16-bit, blocks of BlockLayoutTable26, optional block
//   unlock 60h/D0h, the status error bits logged; gang polling.
// - row 91: two 16-bit chips on one socket chosen by register 3 (2 the
//   first, 1 the second, 3 none), each erased by 30h/D0h, error bits logged.
//
// Every erase reads the erase error bit of each block (or chip) it erased:
// rows 26 and 91 end at the first failed one, as on their other errors;
// rows 28 and 38 erase the remaining blocks and fail afterwards.
//
// Every loop latches the chip start into registers 0-2 before it begins, so
// a range that starts above 0 reads and programs its own addresses.
#include "memory/WordFlash.h"

#include <array>

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
#include "memory/CommandBus.h"
#include "memory/MemoryFrame.h"

namespace {

// Block count, then the block starts in units of 4096 words (the end last).
struct BlockLayout38 {
    uint32_t Count;
    std::array<uint8_t, 28> Starts;
};
constexpr std::array<BlockLayout38, BlockLayout38Count> BlockLayoutTable38 = {{
    {23, {0, 8, 16, 24, 32, 40, 48, 56, 64, 72, 80, 88, 96, 104, 112, 120, 121, 122, 123, 124, 125, 126, 127, 128}},
}};

using Layout26 = std::array<uint32_t, 73>;
// n blocks: `small` blocks of one unit at the bottom (or the top), the rest of
// eight units, `end` units in all.
constexpr Layout26 ParameterLayout(uint32_t end, bool top) {
    Layout26 r{};
    const uint32_t n = end / 8 - 1 + 8;
    r[0] = n;
    uint32_t i = 1, at = 0;
    if (!top) {
        for (; at < 8; ++at) r[i++] = at;
    }
    for (; at < (top ? end - 8 : end); at += 8) r[i++] = at;
    if (top) {
        for (; at < end; ++at) r[i++] = at;
    }
    r[i] = end;
    return r;
}
constexpr std::array<Layout26, BlockLayout26Count> BlockLayoutTable26 = {{
    ParameterLayout(64, false),
    ParameterLayout(64, true),
    ParameterLayout(128, false),
    ParameterLayout(128, true),
    ParameterLayout(256, false),
    ParameterLayout(256, true),
    ParameterLayout(512, false),
    ParameterLayout(512, true),
    {11, 0, 2, 3, 4, 16, 32, 48, 64, 80, 96, 112, 128},
    {11, 0, 16, 32, 48, 64, 80, 96, 112, 124, 125, 126, 128},
}};

// Up to limit erase waits of 100 ms, each shown (from 1) and open to the
// user's break, then ready(): 1 once it is, -1 at the limit, or the break's
// result.
template <class Ready> int EraseWait(uint32_t limit, Ready&& ready) { return ErasePasses(limit, ready, 1); }

// A word written high byte first on register 7, the cycle on register 6.
void WriteWord(uint32_t w) {
    WriteRegister(7, (w >> 8) & 0xFF);
    WriteRegister(6, w & 0xFF);
}

// A word read low byte first: register 4 = strobe, registers 6 and 7, then
// register 4 = after.
uint32_t ReadWordLowFirst(uint8_t strobe, uint8_t after) { return cmdbus::StrobedRead(strobe, after, true); }

// The error bits of the last status: bit 4 program error, bit 3 VPP low
// (after an erase bit 5 is checked with them, CheckEraseStatus).
int ErrorCheck(uint32_t status) {
    if ((status & 0x18) == 0) return 1;
    ShowMessageLine((status & 0x10) != 0 ? " Word Program Error!" : " Vpp Low Detect!");
    return -1;
}

// 40h and the word at ChipAddress, then up to 100 reads for bit 7: 1 (with
// checkErrors the error check of that status), or -1.
int ProgramWord40(uint32_t word, uint32_t (*read)(), bool checkErrors) {
    WriteAddressLow(ChipAddress);
    WriteRegister(6, 0x40);
    WriteWord(word);
    for (int n = 0; n < 100; ++n) {
        const uint32_t status = read();
        if (status & 0x80) return checkErrors ? ErrorCheck(status) : 1;
    }
    return -1;
}

// The identifier of the chip register 3 = select selects (90h, maker at 0,
// device at 1, then FFh); register 3 = deselect afterwards.
void IdentifierPass(uint32_t select, uint32_t deselect, uint32_t (*read)()) {
    WriteRegister(3, select);
    WriteRegister(4, 0x09);
    WriteRegister(6, 0x90);
    WriteRegister(0, 0);
    ChipMakerId = read();
    WriteRegister(0, 1);
    ChipDeviceId = read();
    WriteRegister(6, 0xFF);
    WriteRegister(3, deselect);
}

// ---- row 28 --------------------------------------------------------------

uint32_t ReadWord28() {
    WriteRegister(4, 0x03);
    const uint32_t high = ReadRegister(7);
    ReadValue = ReadRegister(6) | high << 8;
    WriteRegister(4, 0x09);
    return ReadValue;
}

void Command28(uint32_t c) { WriteRegister(6, c); }
constexpr cmdbus::StatusAccess kStatus28{.Read = ReadWord28, .Command = Command28};

void PowerUp28(int mode) {
    cmdbus::PowerOn(mode, {.RangeTenths = static_cast<int>(cmdbus::Supply(mode)),
                           .Address = cmdbus::StartAddress::Zero,
                           .Idle = {{{3, 0xFF}, {4, 0x0A}, {5, 4}}},
                           .OnSupply = {{{4, 0x0B}}}});
}

void PowerDown28() { cmdbus::PowerDown({{{4, 0x0A}, {3, 0xFF}}}, true); }

// The program loop of the word rows: from the chip start, the upper latches
// at their boundaries, program(word) for each buffer word.
template <class Program>
int ProgramWords(UpperLatches upper, Program&& program) {
    WriteAddress(DeviceStart);
    return WalkAddresses(0x7FFF, 1, [&](bool first) {
        WriteUpperAddress(upper, ChipAddress, first);
        ExpectedValue = BufferWordAt(BufferIndex);
        const int result = ExpectedValue == BlankWord ? 1 : program(ExpectedValue);
        if (result == 1) BufferIndex += AddressStep; // a failure reports its own address
        return result;
    });
}

// The read loop of the word rows from the chip start: the upper latches at
// their boundaries (the image steps the lower 16 bits), read() per word.
template <class Read>
int ReadWords(int mode, UpperLatches upper, Read&& read) {
    return WalkAddresses(0x7FFF, mode != 0, [&](bool first) {
        WriteUpperAddress(upper, ChipAddress, first);
        ReadValue = read();
        return ProcessReadWord(mode);
    });
}

int Alg28Program() {
    FrameUse(FrameProfile{});
    PowerUp28(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayShortUs(100);
    WriteRegister(4, 0x09);
    WriteRegister(3, 0);
    const int r = ProgramWords(UpperLatches{0x100, 0x10000, true},
                               [](uint32_t word) { return ProgramWord40(word, ReadWord28, false); });
    SetDeviceVpp(0, 0);
    PowerDown28();
    return r;
}

int Alg28Read(int mode) {
    FrameUse(FrameProfile{});
    PowerUp28(2);
    WriteAddress(DeviceStart);
    WriteRegister(5, 5);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x03);
    const int r = ReadWords(mode, UpperLatches{0, 0x10000, false}, [] {
        const uint32_t high = ReadRegister(7);
        return ReadRegister(6) | high << 8;
    });
    PowerDown28();
    return r;
}

// Sixteen blocks of 32768 words, whatever the size. A block the part failed
// fails the erase once the others are erased; a time-out ends it at once.
int Alg28Erase() {
    FrameUse(FrameProfile{});
    PowerUp28(1);
    SetDeviceVpp(1, static_cast<int>(Vpp / 10));
    DelayShortUs(100);
    WriteRegister(4, 0x09);
    WriteRegister(3, 0);
    int r = 1;
    bool failed = false;
    for (uint32_t k = 0; k < 16 && r == 1; ++k) {
        WriteRegister(1, (k & 1) << 7);
        WriteRegister(2, k >> 1);
        WriteRegister(6, 0x20);
        WriteRegister(6, 0xD0);
        r = EraseWait(50, [] { return (ReadWord28() & 0x80) != 0; });
        if (r == 1 && cmdbus::CheckEraseStatus(ReadValue, kStatus28, {k << 15, (k << 15) | 0x7FFF}) != 1) failed = true;
        WriteRegister(6, 0xFF);
    }
    if (r == 1 && failed) r = -1;
    SetDeviceVpp(0, 0);
    PowerDown28();
    return r;
}

// ---- row 38 --------------------------------------------------------------

uint32_t ReadWord38() { return ReadWordLowFirst(0x7F, 0xFD); }

constexpr cmdbus::StatusAccess kStatus38{.Read = ReadWord38, .Command = WriteWord};

int Status38() {
    WriteWord(0x70);
    for (int n = 0; n < 100; ++n) {
        if (ReadWord38() & 0x80) return 1;
    }
    return -1;
}

void PowerUp38(int mode) {
    cmdbus::PowerOn(mode, {.RangeTenths = static_cast<int>(cmdbus::Supply(mode)),
                           .Address = cmdbus::StartAddress::None,
                           .Idle = {{{3, 0xFF}, {4, 0xFF}, {5, 0}}}});
    SetDeviceVpp(1, mode == 1 ? static_cast<int>(Vpp / 10) : static_cast<int>(ReadVccInUse));
    DelayMsSlot(1);
    WriteWord(0xFF);
}

void PowerDown38() {
    WriteSequence({{{4, 0x1F}, {3, 0xFF}}});
    SetDeviceVpp(0, 50);
    DelayShortUs(100);
    cmdbus::SupplyOff();
}

bool Variant38Served() { return DeviceVariant < BlockLayout38Count; }

int Alg38Program() {
    if (!Variant38Served()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp38(1);
    WriteRegister(4, 0xFD);
    WriteRegister(3, 0);
    const int r = ProgramWords(UpperLatches{0x100, 0x10000, true}, [](uint32_t word) {
        WriteAddressLow(ChipAddress);
        for (uint32_t n = 0; n < Retry; ++n) {
            WriteWord(0x40);
            WriteWord(word);
            if (Status38() == 1) return 1;
        }
        return -1;
    });
    PowerDown38();
    return r;
}

int Alg38Read(int mode) {
    if (!Variant38Served()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp38(mode);
    WriteAddress(DeviceStart);
    WriteRegister(5, 3);
    WriteRegister(3, NotSocket(CurrentSocket));
    WriteRegister(4, 0x7F);
    const int r = ReadWords(mode, UpperLatches{0, 0x10000, false}, [] {
        const uint32_t low = ReadRegister(6);
        return low | ReadRegister(7) << 8;
    });
    PowerDown38();
    return r;
}

int Alg38Erase() {
    if (!Variant38Served()) return RefuseVariant();
    const BlockLayout38& layout = BlockLayoutTable38[DeviceVariant];
    FrameUse(FrameProfile{});
    PowerUp38(1);
    WriteRegister(4, 0xFD);
    WriteRegister(3, 0);
    int r = 1;
    bool failed = false;
    for (uint32_t b = 0; b < layout.Count && r == 1; ++b) {
        const uint32_t start = layout.Starts[b];
        WriteRegister(0, 0);
        WriteRegister(1, (start << 4) & 0xFF);
        WriteRegister(2, start >> 4);
        WriteWord(0x20);
        WriteWord(0xD0);
        r = EraseWait(30, [] {
            WriteWord(0x70);
            return (ReadWord38() & 0x80) != 0;
        });
        if (r != 1) break;
        // A block the part failed gets its line instead; the others go on.
        if (cmdbus::CheckEraseStatus(ReadValue, kStatus38, {start << 12, (uint32_t{layout.Starts[b + 1]} << 12) - 1}) != 1) {
            failed = true;
            continue;
        }
        ShowMessageLine(" Block Address %02X000h - %02XFFFh Erase ok!  ", start, layout.Starts[b + 1] - 1);
    }
    if (r == 1 && failed) r = -1;
    PowerDown38();
    return r;
}

// ---- rows 26 and 91 ------------------------------------------------------

constexpr uint32_t kMakerSharp = 50; // "SHARP" in MakerNameTable

// Set at every power-up of row 26.
struct Module26 {
    int VppPin = 13;
    uint32_t NextUnlock = 0; // the address whose block is unlocked next
};
Module26 g26;

bool Byte26() { return DataWidth <= 8; }

// A block start of the layout row in the device's units (bytes for an 8-bit part).
uint32_t Start26(uint32_t i) { return BlockLayoutTable26[DeviceVariant][i + 1] * (Byte26() ? 2 : 1); }

uint32_t ReadData26() {
    if (!Byte26()) return ReadWordLowFirst(0x03, 0x09);
    WriteRegister(4, 0x03);
    ReadValue = ReadRegister(6);
    WriteRegister(4, 0x09);
    return ReadValue;
}

int VppPin26() {
    switch (AdapterCode) {
    case '6':
    case 'L':
    case 'M':
    case 'N':
    case 'O':
    case 'h':
    case '|':
    case '~':
    case 0x7F: return 5;
    default: return PackageRow(PackageIndex).PinCount == 40 ? 15 : 13;
    }
}

void Command(uint32_t c) { WriteRegister(6, c); }
constexpr cmdbus::StatusAccess kStatus26{.Read = ReadData26, .Command = Command, .RowErrors = ErrorCheck};

void PowerUp26(int mode) {
    g26.VppPin = VppPin26();
    g26.NextUnlock = mode == 1 ? DeviceStart : 0;
    const bool timing = MakerIndex == kMakerSharp;
    cmdbus::PowerOn(mode, {.RangeTenths = 33,
                           .Dac = static_cast<int>(Vpp / 10),
                           .First = {{timing ? RegisterWrite{8, 1} : RegisterWrite{}}},
                           .Address = cmdbus::StartAddress::None,
                           .Idle = {{{3, 0xFF}, {4, 0x03}, {5, 0}}},
                           .SettleMs = 10});
    IdentifierPass(0xFE, 0xFF, ReadData26);
    WriteAddress(DeviceStart);
}

void PowerDown26() { cmdbus::PowerDown({{{3, 0xFF}, {4, 0x0B}}}); }

// Polls bit 7 up to 100 times, socket by socket with a gang; then the error
// check of the last status read.
int Poll26() {
    uint32_t status = 0;
    const bool ready = PollInTurns(100, [&] {
        status = ReadData26();
        return (status & 0x80) != 0;
    });
    return ready ? ErrorCheck(status) : -1;
}

// With sub-variant 1, the block holding ChipAddress is unlocked when the
// walk reaches the next unlock address (the range's first address, then
// each later block start).
void UnlockStep26() {
    if (DeviceSubVariant != 1 || ChipAddress != g26.NextUnlock) return;
    WriteRegister3(0);
    WriteRegister(6, 0x60);
    WriteRegister(6, 0xD0);
    const uint32_t n = BlockLayoutTable26[DeviceVariant][0];
    g26.NextUnlock = 0xFFFFFFFFu;
    for (uint32_t i = 0; i <= n; ++i) {
        if (Start26(i) * 4096 > ChipAddress) {
            g26.NextUnlock = Start26(i) * 4096;
            break;
        }
    }
}

bool Variant26Served() { return DeviceVariant < BlockLayout26Count; }

int Alg26Identify() {
    if (!Variant26Served()) return RefuseVariant();
    PowerUp26(2);
    PowerDown26();
    return 1;
}

int Alg26Program() {
    if (!Variant26Served()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp26(1);
    SetSupplyPinA(g26.VppPin, 1);
    DelayMsSlot(1);
    WriteRegister3(0);
    const uint32_t blank = Byte26() ? 0xFF : BlankWord;
    const int r = WalkAddresses(Byte26() ? 0xFFFF : 0x7FFF, 1, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        UnlockStep26();
        ExpectedValue = Byte26() ? BufferWindow[BufferIndex & 0xFFFF] : BufferWordAt(BufferIndex);
        int result = 1;
        if (ExpectedValue != blank) {
            WriteAddressLow(ChipAddress);
            WriteRegister(6, 0x40);
            if (Byte26()) {
                WriteRegister(6, ExpectedValue);
            } else {
                WriteWord(ExpectedValue);
            }
            result = Poll26();
        }
        if (result == 1) BufferIndex += AddressStep;
        return result;
    });
    SetSupplyPinA(g26.VppPin, 0);
    PowerDown26();
    return r;
}

int Alg26Read(int mode) {
    if (!Variant26Served()) return RefuseVariant();
    FrameUse(FrameProfile{});
    PowerUp26(2);
    WriteRegister(4, 0x0B);
    WriteRegister(5, 3);
    WriteRegister3(NotSocket(CurrentSocket));
    DelayMsSlot(1);
    const int r = WalkAddresses(Byte26() ? 0xFFFF : 0x7FFF, mode != 0, [&](bool first) {
        WriteUpperAddress(UpperLatches{0, 0x10000, false}, ChipAddress, first);
        ReadValue = ReadRegister(6);
        if (Byte26()) return ProcessReadByte(mode);
        ReadValue |= ReadRegister(7) << 8;
        return ProcessReadWord(mode);
    });
    PowerDown26();
    return r;
}

int Alg26Erase() {
    if (!Variant26Served()) return RefuseVariant();
    const uint32_t n = BlockLayoutTable26[DeviceVariant][0];
    FrameUse(FrameProfile{});
    PowerUp26(1);
    g26.NextUnlock = 0;
    SetSupplyPinA(g26.VppPin, 1);
    DelayMsSlot(1);
    int r = 1;
    for (uint32_t b = 0; b < n && r == 1; ++b) {
        const uint32_t a = Start26(b);
        WriteRegister3(0);
        WriteRegister(0, 0);
        WriteRegister(1, (a << 4) & 0xFF);
        WriteRegister(2, a >> 4);
        ChipAddress = a * 4096;
        UnlockStep26();
        WriteRegister(6, 0x20);
        WriteRegister(6, 0xD0);
        SocketTurns turns;
        uint32_t status = 0;
        r = EraseWait(30, [&] {
            turns.Select();
            status = ReadData26();
            return turns.Ready((status & 0x80) != 0);
        });
        WriteRegister3(0);
        if (r == 1) r = cmdbus::CheckEraseStatus(status, kStatus26, {a * 4096, Start26(b + 1) * 4096 - 1});
        if (r != 1) break;
        if (b > 0) DeleteLastMessageLines(1);
        ShowMessageLine(" Block Address %X000h - %XFFFh Erase ok!", a, Start26(b + 1) - 1);
    }
    SetSupplyPinA(g26.VppPin, 0);
    PowerDown26();
    return r;
}

// Row 91: the chip of an address, 2 the first (below half the size), 1 the second.
uint32_t Chip91(uint32_t a) { return a < DeviceSize / 2 ? 2 : 1; }

uint32_t ReadWord91() { return ReadWordLowFirst(0x03, 0x09); }

constexpr cmdbus::StatusAccess kStatus91{.Read = ReadWord91, .Command = Command, .RowErrors = ErrorCheck};

void PowerUp91(int mode) {
    cmdbus::PowerOn(mode, {.RangeTenths = static_cast<int>(cmdbus::Supply(mode)),
                           .Dac = static_cast<int>(Vpp / 10),
                           .First = {{{8, DeviceVariant == 1 ? 1u : 0u}}},
                           .Address = cmdbus::StartAddress::None,
                           .Idle = {{{3, 3}, {4, 0x03}, {5, 0}}},
                           .SettleMs = 10});
    IdentifierPass(2, 3, ReadWord91);
    WriteAddress(DeviceStart);
}

void PowerDown91() { cmdbus::PowerDown({{{3, 0xFF}, {4, 0x0B}}}); }

// The chip of ChipAddress is selected at the first address and at every
// 65536-word boundary.
void SelectChip91(bool first) {
    if (first || (ChipAddress & 0xFFFF) == 0) WriteRegister(3, Chip91(ChipAddress));
}

int Alg91Program() {
    FrameUse(FrameProfile{});
    PowerUp91(1);
    SetSupplyPinA(5, 1);
    DelayMsSlot(1);
    const int r = ProgramWords(UpperLatches{0x100, 0x10000, true}, [](uint32_t word) {
        SelectChip91(ChipAddress == DeviceStart);
        return ProgramWord40(word, ReadWord91, true);
    });
    SetSupplyPinA(5, 0);
    PowerDown91();
    return r;
}

int Alg91Read(int mode) {
    FrameUse(FrameProfile{});
    PowerUp91(2);
    WriteRegister(4, 0x0B);
    WriteRegister(5, 3);
    const int r = ReadWords(mode, UpperLatches{0, 0x10000, false}, [] {
        SelectChip91(ChipAddress == DeviceStart);
        const uint32_t low = ReadRegister(6);
        return low | ReadRegister(7) << 8;
    });
    PowerDown91();
    return r;
}

// The first chip, then the second only when the first erased cleanly.
int Alg91Erase() {
    FrameUse(FrameProfile{});
    PowerUp91(1);
    SetSupplyPinA(5, 1);
    DelayMsSlot(1);
    int r = 1;
    const uint32_t half = DeviceSize / 2;
    for (uint32_t chip : {2u, 1u}) {
        WriteRegister(3, chip);
        WriteRegister(6, 0x30);
        WriteRegister(6, 0xD0);
        r = EraseWait(420, [] { return (ReadWord91() & 0x80) != 0; });
        const cmdbus::EraseSpan span = chip == 2 ? cmdbus::EraseSpan{0, half - 1} : cmdbus::EraseSpan{half, DeviceSize - 1};
        if (r == 1) r = cmdbus::CheckEraseStatus(ReadValue, kStatus91, span);
        if (r != 1) break;
    }
    SetSupplyPinA(5, 0);
    PowerDown91();
    return r;
}

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 28, .Read = Alg28Read, .Program = Alg28Program, .Erase = Alg28Erase},
    {.Row = 38,
     .Read = Alg38Read,
     .Program = Alg38Program,
     .Erase = Alg38Erase,
     .VariantCount = BlockLayout38Count,
     .VariantTable = "BlockLayoutTable38"},
    {.Row = 26,
     .Identify = Alg26Identify,
     .Read = Alg26Read,
     .Program = Alg26Program,
     .Erase = Alg26Erase,
     .VariantCount = BlockLayout26Count,
     .VariantTable = "BlockLayoutTable26"},
    {.Row = 91,
     .Read = Alg91Read,
     .Program = Alg91Program,
     .Erase = Alg91Erase,
     .VariantCount = Row91VariantCount,
     .VariantTable = "the register-8 values",
     .SingleSocket = true,
     .GangModuleRefusal = "Remove the gang module: its socket select drives this device's chip select."},
};

ROW_FAMILY("WordFlash", Memory, 200, kAlgorithmRows);
