// Rows 21 and 36 on the command bus: address latches 0-2, socket mask 3
// (through WriteRegister3), line patterns 4 (93h released, D3h powered, DDh
// command mode, DFh strobed read, DBh/C3h read loop), bus mode 5 (2
// addressed, 3 sequential read), data 6, timing 8, option line 9.
//
// Commands are single bytes on register 6; the parts answer through their
// status register (bit 7 ready). Erase is per block of the layout table, per
// uniform 64 KB block (variant 99) or of the whole chip (variant 100); the
// erase waits poll the gang socket by socket against one limit. A block
// whose status shows the erase error bit gets its line and fails the erase
// once the other blocks are erased; a time-out ends it at once.
#include "memory/BootBlockFlash.h"

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

// Block count, boot-block index, then the block boundaries in units of 256
// bytes (start of each block, then the end).
using LayoutRow = std::array<uint32_t, 35>;
constexpr LayoutRow Steps(uint32_t n, uint32_t to) {
    LayoutRow r{};
    r[0] = n;
    for (uint32_t i = 0; i * 256 <= to && i + 2 < r.size(); ++i) r[i + 2] = i * 256;
    return r;
}
constexpr std::array<LayoutRow, BootBlockLayoutCount> BootBlockLayoutTable = {{
    {5, 0, 0, 64, 96, 128, 512, 1024},
    {5, 4, 0, 512, 896, 928, 960, 1024},
    {7, 0, 0, 64, 96, 128, 512, 1024, 1536, 2048},
    {7, 6, 0, 512, 1024, 1536, 1920, 1952, 1984, 2048},
    {11, 0, 0, 64, 96, 128, 512, 1024, 1536, 2048, 2560, 3072, 3584, 4096},
    {11, 10, 0, 512, 1024, 1536, 2048, 2560, 3072, 3584, 3968, 4000, 4032, 4096},
    Steps(16, 4096),
    Steps(32, 8192),
    Steps(8, 4096), // boundaries up to 1 MB, of which the first 9 are used
}};

// Set at every power-up.
struct Module {
    int FirstPin = 36, SecondPin = 35; // the high-voltage pins (ZIF)
    bool LongErase = false;
    bool SkipSecondPin = false;
};
Module g_module;

int PackagePins() { return PackageRow(PackageIndex).PinCount; }

void SetModuleState() {
    switch (AdapterCode) {
    case 'P': g_module.FirstPin = 3, g_module.SecondPin = 46; break;
    case 'Q':
        g_module.FirstPin = PackagePins() == 40 ? 15 : 13;
        g_module.SecondPin = PackagePins() == 40 ? 14 : 12;
        break;
    case 0: g_module.FirstPin = 36, g_module.SecondPin = 35; break;
    default: g_module.FirstPin = 5, g_module.SecondPin = 9; break;
    }
    g_module.LongErase = (DeviceSubVariant & 1) != 0;
    g_module.SkipSecondPin = (DeviceSubVariant & 2) != 0;
}

void PowerUp(int mode) {
    SetModuleState();
    const uint32_t supply = cmdbus::Supply(mode);
    const bool optionLine = DeviceVariant == 2 || DeviceVariant == 3;
    cmdbus::PowerOn(mode, {.RangeTenths = static_cast<int>(supply >= 33 ? 33 : supply),
                           .Dac = static_cast<int>(Vpp / 10),
                           .First = {{optionLine ? RegisterWrite{9, 1} : RegisterWrite{}}},
                           .Address = cmdbus::StartAddress::Zero,
                           .Idle = {{{3, 0xFF}, {4, 0x93}, {8, 4}}},
                           .SettleMs = 10,
                           .Powered = {{{4, 0xD3}, {5, 2}}}});
}

// The end of every entry.
// The supply goes down through its ramp here: cut by the driver's reset
// while still on, it would drop at once.
void Idle() {
    WriteAddress(0);
    cmdbus::PowerDown({{{3, 0xFF}, {4, 0x93}}});
}

uint32_t StrobedRead() { return cmdbus::StrobedRead(0xDF, 0xDD); }
void Command(uint32_t c) { WriteRegister(6, c); }
constexpr cmdbus::StatusAccess kStatus{.Read = StrobedRead, .Command = Command};

void HighVoltagePins(int state, bool second) {
    if (state == 1) {
        SetSupplyPinA(g_module.FirstPin, 1);
        if (second && !g_module.SkipSecondPin) SetSupplyPinA(g_module.SecondPin, 1);
    } else {
        if (second && !g_module.SkipSecondPin) SetSupplyPinA(g_module.SecondPin, 0);
        SetSupplyPinA(g_module.FirstPin, 0);
    }
}

// The variant-100 parts' preparation before program and erase.
void Preparation() {
    WriteRegister(6, 0x47);
    WriteRegister(0, 0xFF);
    WriteRegister(6, 0xD0);
    DelayMsSlot(100);
    WriteRegister(0, 0);
}

// One erase wait, socket by socket: up to limit steps of 100 ms, each reading
// the status of socket s alone and moving on to the next socket once it is
// ready; every step counts against the one limit. afterRead: WriteRegister3(0)
// after each read (the chip erase). 1, -1 on the limit, or the user's break.
int WaitEverySocket(uint32_t limit, bool allAfterRead) {
    SocketTurns turns;
    return ErasePasses(
        limit,
        [&] {
            turns.Select();
            const bool ready = (StrobedRead() & 0x80) != 0;
            if (allAfterRead) WriteRegister3(0);
            return turns.Ready(ready);
        },
        1);
}

// The variant is one the module serves (the library refuses others; this
// guards a record that got past it). The uniform-block erase needs a block.
bool VariantServed(bool erase) {
    if (DeviceVariant < BootBlockLayoutCount || DeviceVariant == kChipEraseVariant) return true;
    return DeviceVariant == kUniformBlocksVariant && (!erase || DeviceSize >= 0x10000);
}

int Alg21Identify() {
    PowerUp(2);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    WriteRegister(6, 0x90);
    WriteRegister(0, 0);
    ChipMakerId = StrobedRead();
    WriteRegister(0, 1);
    ChipDeviceId = StrobedRead();
    Idle();
    return 1;
}

int Alg21Read(int mode) {
    FrameUse(FrameProfile{});
    PowerUp(2);
    WriteRegister3(NotSocket(CurrentSocket));
    // The read loop starts at DeviceStart: the image steps the address from there.
    WriteAddress(DeviceStart);
    WriteRegister(4, LogicImageNumber == 312 ? 0xC3 : 0xDB);
    WriteRegister(5, 3);
    const int r = WalkAddresses(0xFFFF, mode != 0, [&](bool) {
        if ((ChipAddress & 0xFFFF) == 0) WriteRegister(2, (ChipAddress >> 16) & 0xFF);
        ReadValue = ReadRegister(6);
        return ProcessReadByte(mode);
    });
    Idle();
    return r;
}

// Programs ExpectedValue at the latched address: 10h, the byte, then up to
// 1000 status reads (socket by socket with a gang) until bit 7 is set.
int ProgramByte() {
    if (ExpectedValue == 0xFF) return 1;
    WriteRegister(6, 0x10);
    WriteRegister(6, ExpectedValue);
    return PollInTurns(1000, [] { return (StrobedRead() & 0x80) != 0; }) ? 1 : -1;
}

int Alg21Program() {
    FrameUse(FrameProfile{});
    PowerUp(1);
    HighVoltagePins(1, true);
    DelayMsSlot(5);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    if (DeviceVariant == kChipEraseVariant) Preparation();
    WriteAddress(DeviceStart);
    const int r = WalkAddresses(0xFFFF, 1, [&](bool first) {
        WriteUpperAddress(UpperLatches{0x100, 0x10000, true}, ChipAddress, first);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        WriteAddressLow(ChipAddress);
        const int result = ProgramByte();
        if (result == 1) BufferIndex += AddressStep; // a failure reports its own address
        return result;
    });
    HighVoltagePins(0, true);
    Idle();
    return r;
}

uint32_t EraseLimit() { return g_module.LongErase ? 600 : 120; }

int ChipErase() {
    PowerUp(1);
    HighVoltagePins(1, false);
    DelayMsSlot(1);
    WriteRegister3(0);
    WriteRegister(4, 0xDD);
    Preparation();
    WriteRegister(6, 0xA7);
    WriteRegister(6, 0xD0);
    int r = WaitEverySocket(300, true);
    if (r == 1) r = cmdbus::CheckEraseStatus(ReadValue, kStatus, cmdbus::kWholeChip);
    HighVoltagePins(0, false);
    Idle();
    return r;
}

// Erases one block at address a and waits for it; 1, -1 or the user's break.
// The block's status is checked apart (CheckEraseStatus), so that a block
// the part failed does not stop the erase of the others.
int EraseBlockAt(uint32_t a) {
    WriteRegister3(0);
    WriteAddress(a);
    WriteRegister(6, 0x20);
    WriteRegister(6, 0xD0);
    return WaitEverySocket(EraseLimit(), false);
}

int UniformErase() {
    const uint32_t blocks = DeviceSize / 0x10000;
    PowerUp(1);
    HighVoltagePins(1, false);
    DelayMsSlot(1);
    WriteRegister(4, 0xDD);
    int r = 1;
    bool failed = false;
    for (uint32_t b = 0; b < blocks && r == 1; ++b) {
        r = EraseBlockAt(b << 16);
        if (r != 1) break;
        if (cmdbus::CheckEraseStatus(ReadValue, kStatus, {b << 16, (b << 16) | 0xFFFF}) != 1) {
            failed = true;
            continue;
        }
        ShowMessageLine(" Block Address %03X0000h - %03XFFFFh Erase ok!  ", b, b);
    }
    if (r == 1 && failed) r = -1;
    HighVoltagePins(0, false);
    Idle();
    return r;
}

int TableErase() {
    const LayoutRow& row = BootBlockLayoutTable[DeviceVariant];
    PowerUp(1);
    HighVoltagePins(1, true);
    DelayMsSlot(1);
    WriteRegister(4, 0xDD);
    int r = 1;
    bool failed = false, okLineLast = false;
    for (uint32_t b = 0; b < row[0] && r == 1; ++b) {
        const uint32_t from = row[b + 2], to = row[b + 3];
        r = EraseBlockAt(from << 8);
        if (r != 1) break;
        // One line shows the latest block erased; the lines of failed
        // blocks stay.
        if (okLineLast) DeleteLastMessageLines(1);
        okLineLast = cmdbus::CheckEraseStatus(ReadValue, kStatus, {from << 8, (to << 8) - 1}) == 1;
        failed = failed || !okLineLast;
        if (okLineLast) ShowMessageLine(" Block Address %03X00h - %03XFFh Erase ok!  ", from, to - 1);
    }
    if (r == 1 && failed) r = -1;
    HighVoltagePins(0, true);
    Idle();
    return r;
}

int Alg21Erase() {
    if (!VariantServed(true)) return RefuseVariant();
    if (DeviceVariant == kChipEraseVariant) return ChipErase();
    if (DeviceVariant == kUniformBlocksVariant) return UniformErase();
    return TableErase();
}

int Alg21ReadChecked(int mode) { return VariantServed(false) ? Alg21Read(mode) : RefuseVariant(); }
int Alg21ProgramChecked() { return VariantServed(false) ? Alg21Program() : RefuseVariant(); }

} // namespace

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 21,
     .Identify = Alg21Identify,
     .Read = Alg21ReadChecked,
     .Program = Alg21ProgramChecked,
     .Erase = Alg21Erase,
     .VariantCount = BootBlockLayoutCount,
     .VariantTable = "BootBlockLayoutTable",
     .SpecialVariants = {kUniformBlocksVariant, kChipEraseVariant}},
    {.Row = 36,
     .Identify = Alg21Identify,
     .Read = Alg21ReadChecked,
     .Program = Alg21ProgramChecked,
     .Erase = Alg21Erase,
     .VariantCount = BootBlockLayoutCount,
     .VariantTable = "BootBlockLayoutTable",
     .SpecialVariants = {kUniformBlocksVariant, kChipEraseVariant}},
};

ROW_FAMILY("BootBlockFlash", Memory, 130, kAlgorithmRows);
