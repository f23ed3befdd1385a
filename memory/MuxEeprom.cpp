// The multiplexed bus of the rows' logic images: register 0 address bits
// 8-15, register 9 first the address bits 0-7 and then the datum (on a read
// a dummy 0, then the datum is read from it), register 1 the row's line
// pattern, register 4 = 1 while the chip is powered.
#include "memory/MuxEeprom.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "memory/MemoryFrame.h"

uint32_t BlockProtectFlags[8] = {};
ShowBlockProtectDialogFn ShowOptXx8C64DialogHook = nullptr;

uint8_t BlockProtectMask() {
    uint8_t mask = 0;
    for (int n = 0; n < 8; ++n) {
        if (BlockProtectFlags[n] != 0) mask = static_cast<uint8_t>(mask | (1u << n));
    }
    return mask;
}

bool PageLengthUsable(uint32_t page) {
    // A page's data come through the whole image (RunByteAt), so a split
    // mode's step may carry it past the buffer window's tail.
    if (page == 0 || page > 256 || (page & (page - 1)) != 0) {
        RefuseRun(" Page length %lu not supported (a power of two up to 256)!",
                  static_cast<unsigned long>(page));
        return false;
    }
    if (DeviceStart % page != 0) {
        RefuseRun(" Start address must be on a page boundary!");
        return false;
    }
    return true;
}

namespace {

// The control patterns of a row (register 1).
struct MuxRow {
    uint32_t BeforePowerOn, Idle, Read, Write;
    bool ReadBeforeDummy; // the read pattern goes on before the dummy byte
};
constexpr MuxRow kRow8{0xC7, 0x46, 0xC4, 0x46, true};
constexpr MuxRow kRow9{0xC2, 0x43, 0xD3, 0x61, false};

const MuxRow* g_row = &kRow8;
uint32_t g_page = 1;
uint32_t g_load = 1; // data of the page being written: the range's part of it

void PowerOn(int mode) {
    g_page = PageSize;
    SupplyVoltage = mode == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    WriteRegister(0, 0);
    WriteRegister(1, g_row->BeforePowerOn);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    WriteRegister(4, 1);
    DelayMsSlot(100);
    WriteRegister(1, g_row->Idle);
}

void PowerOff() { ParkAndPowerOff({{{4, 0}}}, false); }

void Command(uint32_t address, uint32_t data) {
    WriteRegister(0, (address >> 8) & 0xFF);
    WriteRegister(9, address & 0xFF);
    WriteRegister(9, data & 0xFF);
}

// The datum at address (register 0 already holds its high byte).
void ReadAt(uint32_t address) {
    WriteRegister(9, address & 0xFF);
    if (g_row->ReadBeforeDummy) WriteRegister(1, g_row->Read);
    WriteRegister(9, 0);
    if (!g_row->ReadBeforeDummy) WriteRegister(1, g_row->Read);
    ReadValue = ReadRegister(9);
    WriteRegister(1, g_row->Idle);
}

uint8_t PageByte(uint32_t i) { return RunByteAt(i); }

void WritePage(const uint32_t (&commands)[3]) {
    WriteRegister(1, g_row->Write);
    Command(commands[0], 0xAA);
    Command(commands[1], 0x55);
    Command(commands[2], 0xA0);
    WriteRegister(0, (ChipAddress >> 8) & 0xFF);
    for (uint32_t i = 0; i < g_load; ++i) {
        WriteRegister(9, (ChipAddress | i) & 0xFF);
        WriteRegister(9, PageByte(i));
    }
    ExpectedValue = PageByte(g_load - 1);
    WriteRegister(1, g_row->Idle);
}

int TogglePoll() {
    const uint32_t last = ChipAddress + g_load - 1;
    ReadAt(last);
    for (int n = 0; n < 100; ++n) {
        const uint32_t before = ReadValue;
        DelayShortUsSlot(100);
        ReadAt(last);
        if (((before ^ ReadValue) & 0x40) == 0) return 1;
    }
    return -1;
}

int VerifyPage() {
    for (uint32_t i = 0; i < g_load; ++i) {
        ReadAt(ChipAddress | i);
        if (ReadValue != PageByte(i)) return -1;
    }
    return 1;
}

// Row 8 with DeviceVariant3 6 waits PulseWidth instead of polling; every
// other record (row 9, variant 7, or a variant the row has no method for)
// polls.
int WritePageByMethod(const uint32_t (&commands)[3]) {
    const bool timed = g_row == &kRow8 && DeviceVariant3 == 6;
    for (int attempt = 0; attempt < 5; ++attempt) {
        WritePage(commands);
        if (timed) {
            DelayUsSlot(PulseWidth);
        } else if (TogglePoll() != 1) {
            continue;
        }
        if (VerifyPage() == 1) return 1;
        DelayMsSlot(30);
    }
    return -1;
}

int Program(const MuxRow& row) {
    g_row = &row;
    if (!PageLengthUsable(PageSize)) return -1;
    PowerOn(1);
    int result = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; a += g_page) {
        ChipAddress = static_cast<uint32_t>(a);
        result = StepProgress(ChipAddress);
        if (result != 1) break;
        if ((ChipAddress & 0xFF) == 0) WriteRegister(0, (ChipAddress >> 8) & 0xFF);
        // A range that ends inside a page loads only its own bytes there.
        g_load = InRangeFrom(a, g_page);
        // Variant 0 sends the prefix into the 4 KB half that holds the page.
        uint32_t commands[3] = {0x5555, 0x2AAA, 0x5555};
        if (DeviceVariant == 0) {
            const uint32_t half = ChipAddress >= 0x1000 ? 0x1000 : 0;
            commands[0] = commands[2] = half | 0x555;
            commands[1] = half | 0xAAA;
        }
        result = WritePageByMethod(commands);
        if (result != 1) {
            BufferIndex += (g_load - 1) * AddressStep; // the page's last byte
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

int Read(const MuxRow& row, int mode) {
    g_row = &row;
    PowerOn(2);
    const int result = WalkAddresses(0xFFFF, mode != 0, [mode](bool first) {
        // The first address loads the high byte too, whatever its low byte.
        if (first || (ChipAddress & 0xFF) == 0) WriteRegister(0, (ChipAddress >> 8) & 0xFF);
        ReadAt(ChipAddress);
        return ProcessReadByte(mode);
    });
    PowerOff();
    return result;
}

void WriteBlockProtection(const MuxRow& row) {
    g_row = &row;
    const uint8_t mask = BlockProtectMask();
    PowerOn(1);
    WriteRegister(1, row.Write);
    Command(0x0555, 0xAA);
    Command(0x0AAA, 0x55);
    Command(0x0555, 0xA0);
    Command(0x0555, 0xAA);
    Command(0x0AAA, 0xC0);
    Command(0x00FF, mask);
    WriteRegister(1, row.Idle);
    DelayMsSlot(10);
    PowerOff();
}

int Options() {
    if (ShowOptXx8C64DialogHook) ShowOptXx8C64DialogHook();
    return 1;
}

int Alg8Read(int mode) { return Read(kRow8, mode); }
int Alg9Read(int mode) { return Read(kRow9, mode); }
int Alg8Program() { return Program(kRow8); }
int Alg9Program() { return Program(kRow9); }

} // namespace

void WriteBlockProtection8() { WriteBlockProtection(kRow8); }
void WriteBlockProtection9() { WriteBlockProtection(kRow9); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 8,
     .Read = Alg8Read,
     .Program = Alg8Program,
     .Options = Options,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
    {.Row = 9,
     .Read = Alg9Read,
     .Program = Alg9Program,
     .Options = Options,
     .StartRefusal = " Start address must be on a page boundary!",
     .StartUnit = [] { return PageSize; }},
};

namespace {

// Every install starts with no block protected.
void MuxEepromAtInstall() {
    for (uint32_t& f : BlockProtectFlags) f = 0;
}

} // namespace

ROW_FAMILY("MuxEeprom", Memory, 180, kAlgorithmRows, MuxEepromAtInstall);
