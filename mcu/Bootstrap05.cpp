#include "mcu/Bootstrap05.h"

#include <array>
#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Library.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"

namespace {

enum Boot05Mode : int { ModeBlank = 0, ModeProgram = 1, ModeErase = 5, ModeSecure = 6 };

// One register write; reg < 0 writes nothing.
struct RegWrite {
    int reg = -1;
    uint8_t value = 0;
};

// An address byte: an optional select write, the byte into `reg`, a strobe.
struct AddressByte {
    RegWrite select;
    uint8_t reg;
    uint32_t strobeUs;
};

// Which transfers wait for the loaded program's ready bit before they start.
enum class AddressWait { Always, OnlyProgramming };

struct Range {
    uint32_t first, last;
    bool eeprom;
};
struct MemoryMap {
    std::array<Range, 4> ranges{};
    int count = 0;
    // The range holding a, in table order; nullptr outside the map.
    const Range* Find(uint32_t a) const {
        for (int i = 0; i < count; ++i)
            if (a >= ranges[i].first && a <= ranges[i].last) return &ranges[i];
        return nullptr;
    }
};

// A row's handshake, transfers and download, as data.
struct Boot05Row {
    uint32_t row;
    uint32_t readyReads;   // register 1 reads before a handshake gives up
    bool addressed;        // address bytes are sent (row 138 has none)
    bool nibbles;          // data and reads go as two nibbles (row 136)
    AddressWait addressWait;
    AddressByte high, low;
    RegWrite dataSelect;
    uint8_t dataReg;
    uint32_t dataStrobeUs;
    RegWrite readSelect;
    uint32_t readStrobeUs;
    bool readWaits;        // the read starts with a ready handshake
    bool readClears;       // ReadValue = 0 before the read
    uint8_t strobeReg;
    // Download: bytes sent, the wait before each, its register, the clock
    // register pulsed 1 then 0 after it (-1: the write itself clocks), the
    // wait after each in ms.
    uint32_t downloadCount;
    uint32_t downloadBeforeUs;
    uint8_t downloadReg;
    int downloadClock;
    uint32_t downloadAfterMs;
};

// ---- per-variant tables ----

struct MapRow13x {
    uint32_t r1First, r1Last, r2First, r2Last, r3First, r3Last;
    uint32_t blank, read, program, secure, level;
};
constexpr uint32_t kMapRows132 = 7;
constexpr MapRow13x MemoryMapTable132[kMapRows132] = {
    {0x20, 0x4F, 0x100, 0x10FF, 0x1FF0, 0x1FFF, 0x00, 178, 179, 180, 90},
    {0x20, 0x4F, 0x100, 0x1EFF, 0x1FF4, 0x1FFF, 0x00, 178, 179, 180, 90},
    {0x20, 0x4F, 0x100, 0x1EFF, 0x1FF2, 0x1FFF, 0x00, 178, 179, 180, 90},
    {0x20, 0x4F, 0x100, 0x3EFF, 0x3FF0, 0x3FFF, 0xFF, 178, 181, 182, 100},
    {0x20, 0x4F, 0x100, 0x3EFF, 0x3FF2, 0x3FFF, 0x00, 178, 179, 182, 100},
    {0x20, 0x4F, 0x100, 0x3EFF, 0x3FF0, 0x3FFF, 0xFF, 178, 181, 182, 100},
    // The 32 KB part keeps its option byte at 7FDFh, out of reach of the
    // 16 KB parts' secure program (182 burns 3FDFh, a byte of this part's
    // EPROM, and leaves it open): it takes the 32 KB parts' program 198.
    {0x20, 0x4F, 0x100, 0x7F00, 0x7FF0, 0x7FFF, 0xFF, 178, 181, 198, 100},
};
constexpr uint32_t kMapRows131 = 4;
constexpr MapRow13x MemoryMapTable131[kMapRows131] = {
    {0x20, 0x4F, 0x100, 0x3EFF, 0x3FF0, 0x3FFF, 0xFF, 178, 181, 0, 100},
    {0x20, 0x4F, 0x100, 0x3EFF, 0x3FF2, 0x3FFF, 0x00, 178, 179, 182, 100},
    {0x20, 0x4F, 0x100, 0x3EFF, 0x3FF0, 0x3FFF, 0xFF, 178, 181, 0, 100},
    {0x20, 0x4F, 0x100, 0x7EFF, 0x7FF0, 0x7FFF, 0x00, 178, 191, 198, 100},
};
struct MapRow140 {
    uint32_t eeFirst, eeLast, epFirst, epLast, single, vecFirst, vecLast;
};
constexpr uint32_t kMapRows140 = 2;
// Variant 1's zero EPROM fields mean the part has no such range.
constexpr MapRow140 MemoryMapTable140[kMapRows140] = {
    {0x100, 0x1FF, 0x400, 0x7DFF, 0x7FDE, 0x7FF0, 0x7FFF},
    {0x100, 0x1FF, 0x0, 0x0, 0x0, 0x3FF0, 0x3FFF},
};

const MapRow13x& Table13x(uint32_t row) {
    return row == 132 ? MemoryMapTable132[DeviceVariant % kMapRows132] : MemoryMapTable131[DeviceVariant % kMapRows131];
}

MemoryMap MapOf(uint32_t row) {
    MemoryMap m;
    auto add = [&m](uint32_t first, uint32_t last, bool eeprom) { m.ranges[m.count++] = Range{first, last, eeprom}; };
    switch (row) {
    case 139:
        add(0x20, 0x4F, false), add(0x100, 0x1FF, false), add(0x800, 0x1EFF, false), add(0x1FF2, 0x1FFF, false);
        break;
    case 132:
    case 131: {
        const MapRow13x& t = Table13x(row);
        add(t.r1First, t.r1Last, false), add(t.r2First, t.r2Last, false), add(t.r3First, t.r3Last, false);
        break;
    }
    case 138:
        add(0xF00, 0x1F00, false), add(0x1FF0, 0x1FFF, false);
        break;
    case 141:
        add(0x20, 0x4F, false), add(0x100, 0x1FF, true), add(0x300, 0x3DFE, false), add(0x3FF2, 0x3FFF, false);
        break;
    case 137:
        add(0x100, 0x1FF, true);
        if (DeviceVariant == 0) add(0x400, 0x7DFF, false), add(0x7FDE, 0x7FDE, false), add(0x7FF2, 0x7FFF, false);
        if (DeviceVariant == 1) add(0x20, 0x4F, false), add(0x300, 0x3DFE, false), add(0x3FF2, 0x3FFF, false);
        break;
    case 140: {
        const MapRow140& t = MemoryMapTable140[DeviceVariant % kMapRows140];
        add(t.eeFirst, t.eeLast, true);
        if (t.epLast != 0) add(t.epFirst, t.epLast, false);
        if (t.single != 0) add(t.single, t.single, false);
        add(t.vecFirst, t.vecLast, false);
        break;
    }
    case 136:
        add(0x700, 0x1EFF, false), add(0x1FF1, 0x1FFF, false);
        break;
    default:
        break;
    }
    return m;
}

// The library entry of a mode (0: none).
uint32_t EntryOf(uint32_t row, int mode) {
    const bool read = mode != ModeProgram && mode != ModeErase && mode != ModeSecure;
    switch (row) {
    case 139:
        return read ? 187 : mode == ModeProgram ? 188 : 0;
    case 132:
    case 131: {
        const MapRow13x& t = Table13x(row);
        return read ? t.read : mode == ModeProgram ? t.program : mode == ModeSecure ? t.secure : 0;
    }
    case 138:
        return read ? 189 : mode == ModeProgram ? 190 : 0;
    case 141:
        return read ? 192 : mode == ModeProgram ? 193 : mode == ModeErase ? 194 : 0;
    case 137:
    case 140:
        if (read) return 183;
        if (mode == ModeProgram) return row == 137 && DeviceVariant != 0 ? 186 : 184;
        return mode == ModeErase ? 185 : 0;
    case 136:
        return read ? 195 : mode == ModeProgram ? 196 : mode == ModeSecure ? 197 : 0;
    default:
        return 0;
    }
}

// ---- handshake and transfers ----

void Write(const RegWrite& w) {
    if (w.reg >= 0) WriteRegister(static_cast<uint32_t>(w.reg), w.value);
}

void Strobe(const Boot05Row& k, uint32_t us) {
    WriteRegister(k.strobeReg, 0);
    DelayShortUsSlot(us);
    WriteRegister(k.strobeReg, 1);
}

// Polls register 1 until bit 0 reports the loaded program ready; rows other
// than 139 and 136 leave the last status in ReadValue.
int WaitChipReady(const Boot05Row& k) {
    const bool keep = k.row != 139 && k.row != 136;
    for (uint32_t i = 0; i < k.readyReads; ++i) {
        const uint8_t status = ReadRegister(1);
        if (keep) ReadValue = status;
        if ((status & 1) != 0) return 1;
    }
    return -1;
}

bool AddressWaits(const Boot05Row& k, int mode) {
    if (k.addressWait == AddressWait::Always) return true;
    return mode == ModeProgram || (k.row == 140 && mode == ModeErase);
}

int SendAddressByte(const Boot05Row& k, const AddressByte& b, uint32_t value, int mode) {
    if (AddressWaits(k, mode) && WaitChipReady(k) != 1) return -1;
    Write(b.select);
    WriteRegister(b.reg, value & 0xFF);
    Strobe(k, b.strobeUs);
    return 1;
}

int SendAddress(const Boot05Row& k, uint32_t a, int mode) {
    if (!k.addressed) return 1;
    if (k.nibbles) {
        for (uint32_t v : {a >> 8, a}) {
            if (WaitChipReady(k) != 1) return -1;
            WriteRegister(3, v & 0xFF);
            Strobe(k, 20);
        }
        return 1;
    }
    if (SendAddressByte(k, k.high, a >> 8, mode) != 1) return -1;
    return SendAddressByte(k, k.low, a, mode);
}

int WriteChipByte(const Boot05Row& k, uint32_t value) {
    if (k.nibbles) {
        for (uint32_t shift : {0u, 4u}) {
            if (WaitChipReady(k) != 1) return -1;
            WriteRegister(k.dataReg, value >> shift & 0x0F);
            Strobe(k, k.dataStrobeUs);
        }
        return 1;
    }
    if (WaitChipReady(k) != 1) return -1;
    Write(k.dataSelect);
    WriteRegister(k.dataReg, value);
    Strobe(k, k.dataStrobeUs);
    return 1;
}

int ReadChipByte(const Boot05Row& k) {
    if (k.nibbles) {
        ReadValue = 0;
        for (uint32_t shift : {0u, 4u}) {
            if (WaitChipReady(k) != 1) return -1;
            WriteRegister(k.strobeReg, 0);
            DelayShortUsSlot(k.readStrobeUs);
            ReadValue |= (ReadRegister(0) & 0x0Fu) << shift;
            WriteRegister(k.strobeReg, 1);
        }
        return 1;
    }
    if (k.readClears) ReadValue = 0;
    if (k.readWaits && WaitChipReady(k) != 1) return -1;
    Write(k.readSelect);
    WriteRegister(k.strobeReg, 0);
    DelayShortUsSlot(k.readStrobeUs);
    ReadValue = ReadRegister(0);
    WriteRegister(k.strobeReg, 1);
    return 1;
}

// ---- power ----

int VppTenths() { return static_cast<int>(Vpp / 10); }
int SupplyTenths() { return static_cast<int>(SupplyVoltage); }
void PinOn(int ch, int pin, int tenths) { ApplyVoltageToPin(ch, pin, 1, tenths); }
void PinOff(int ch, int pin, int tenths) { ApplyVoltageToPin(ch, pin, 0, tenths); }

void PowerSteps(uint32_t row, int mode) {
    const bool vppMode = mode == ModeProgram || mode == ModeSecure;
    switch (row) {
    case 139:
        WriteRegister(4, 0), WriteRegister(3, 1), WriteRegister(2, 0xFE), WriteRegister(2, 0xDE);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(4, 18, 100), DelayMsSlot(10);
        WriteRegister(0, 0x10), WriteRegister(2, 0xDF);
        break;
    case 132: {
        const int level = static_cast<int>(Table13x(row).level);
        WriteRegister(3, 1), WriteRegister(0, 0xFC);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(2, DeviceSubVariant == 0 ? 6 : 4, level), DelayMsSlot(10);
        if (vppMode) {
            if (DeviceSubVariant == 0) {
                SetDeviceVpp(1, VppTenths());
            } else {
                RampVoltageUp(2, level, VppTenths(), 5, 10);
                PinOn(2, 6, VppTenths());
            }
        }
        WriteRegister(5, 4), DelayShortUsSlot(100), WriteRegister(0, 0xFD), DelayShortUsSlot(100);
        break;
    }
    case 131:
        WriteRegister(3, 1), WriteRegister(0, 0xFC);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(2, 4, static_cast<int>(Table13x(row).level)), DelayMsSlot(10);
        if (vppMode) PinOn(1, 5, 200);
        WriteRegister(5, 0), WriteRegister(5, 4), WriteRegister(0, 0xFD);
        break;
    case 138:
        WriteRegister(3, 1), WriteRegister(0, 0x7A), DelayMsSlot(100);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(3, 15, mode == ModeProgram ? VppTenths() : 100), DelayMsSlot(10);
        WriteRegister(7, 0x0E), WriteRegister(0, 0x7B);
        break;
    case 141:
        WriteRegister(5, 0), WriteRegister(3, 1), WriteRegister(0, 0xFE), WriteRegister(0, 0xDE);
        PinOn(3, 19, 50), DelayMsSlot(10);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(2, 18, 100), DelayMsSlot(10);
        WriteRegister(6, 0x10), WriteRegister(0, 0xDF), DelayShortUsSlot(100);
        break;
    case 137:
        WriteRegister(3, 1), WriteRegister(0, 0xFE);
        PinOn(3, 19, 50), DelayMsSlot(10);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(2, 18, 100), DelayMsSlot(10);
        WriteRegister(6, 0x18), WriteRegister(0, 0xFF);
        break;
    case 140:
        WriteRegister(3, 1), WriteRegister(0, 0xFA);
        SetDevicePower(1, SupplyTenths()), DelayMsSlot(10);
        PinOn(1, 17, SupplyTenths()), DelayMsSlot(10);
        WriteRegister(6, 0x18), WriteRegister(0, 0xFB);
        break;
    case 136:
        WriteRegister(2, 1), WriteRegister(0, 0xE6);
        PinOn(1, DeviceVariant == 1 ? 37 : 33, 60), DelayMsSlot(10);
        PinOn(2, 28, 120), DelayMsSlot(10);
        if (mode == ModeSecure) RampVoltageUp(2, 120, 165, 5, 1);
        WriteRegister(0, 0xE7);
        break;
    default:
        break;
    }
}

void PowerDown(uint32_t row) {
    switch (row) {
    case 139:
        PinOff(2, 10, VppTenths()), DelayShortUsSlot(100);
        PinOff(4, 18, 0), DelayShortUsSlot(100);
        SetDevicePower(0, SupplyTenths()), DelayShortUsSlot(100);
        WriteRegister(2, 0);
        break;
    case 132:
        if (DeviceSubVariant == 0)
            SetDeviceVpp(0, VppTenths());
        else
            PinOff(2, 6, 50);
        DelayShortUsSlot(100);
        WriteRegister(0, 5);
        PinOn(2, DeviceSubVariant == 0 ? 6 : 4, 0), DelayShortUsSlot(100);
        SetDevicePower(0, static_cast<int>(ReadVccInUse));
        WriteRegister(0, 0), WriteRegister(4, 1);
        break;
    case 131:
        WriteRegister(0, 0xE0);
        PinOff(1, 5, 0), DelayShortUsSlot(100);
        PinOff(2, 4, 0), DelayShortUsSlot(100);
        SetDevicePower(0, SupplyTenths());
        WriteRegister(0, 0);
        break;
    case 138:
        WriteRegister(0, 0);
        PinOff(3, 15, 50), DelayShortUsSlot(100);
        SetDevicePower(0, SupplyTenths()), DelayShortUsSlot(100);
        WriteRegister(1, 0);
        break;
    case 141:
        WriteRegister(0, 0xE0);
        PinOff(2, 36, 50), DelayShortUsSlot(100);
        PinOff(4, 10, VppTenths()), DelayShortUsSlot(100);
        PinOff(2, 18, 0), DelayShortUsSlot(100);
        SetDevicePower(0, SupplyTenths());
        WriteRegister(0, 0);
        break;
    case 137:
        WriteRegister(0, 0xE0);
        PinOff(4, 36, VppTenths()), DelayMsSlot(10);
        PinOff(4, 10, VppTenths()), DelayMsSlot(10);
        PinOff(2, 18, 0), DelayMsSlot(10);
        SetDevicePower(0, SupplyTenths()), DelayMsSlot(10);
        WriteRegister(0, 0);
        break;
    case 140:
        WriteRegister(0, 0xE0), DelayShortUsSlot(100);
        PinOff(2, 20, 50), DelayShortUsSlot(100);
        SetDevicePower(0, SupplyTenths()), DelayShortUsSlot(100);
        PinOff(1, 17, 50), DelayShortUsSlot(100);
        WriteRegister(0, 0), DelayShortUsSlot(100);
        break;
    case 136:
        WriteRegister(0, 0xE0);
        SetDeviceVpp(0, VppTenths()), DelayShortUsSlot(100);
        // The 12 V / programming level reached pin 28 through channel 2, not
        // the package's programming pin: take it off before the supply goes.
        PinOff(2, 28, 0), DelayShortUsSlot(100);
        PinOff(1, DeviceVariant == 1 ? 37 : 33, 50);
        WriteRegister(0, 0);
        break;
    default:
        break;
    }
}

struct Dacs {
    int flag, c1, c2, c3, c4;
};
Dacs DacsOf(uint32_t row, int mode) {
    switch (row) {
    case 139:
        return {1, 0, 0, 0, 100};
    case 132:
        return {0, 0, static_cast<int>(Table13x(row).level), 0, 0};
    case 131:
        return {1, VppTenths(), static_cast<int>(Table13x(row).level), 0, 0};
    case 138:
        return {1, 0, 0, mode == ModeProgram ? VppTenths() : 100, 0};
    case 141:
        return {1, 0, 100, 0, 155};
    case 137:
        return {0, 0, 100, 50, VppTenths()};
    case 140:
        return {0, 50, 155, 0, 0};
    case 136:
        return {1, 60, 120, 0, 0};
    default:
        return {1, 0, 0, 0, 0};
    }
}

// Every chip-side program of this family opens with the same start-up (PB
// as output, ready low, then a jump into the program in RAM): "lda #FFh;
// sta DDRB; bclr 1,PORTC; bset 1,DDRC; jmp".
constexpr std::array<uint8_t, 9> kProgramHead = {0xA6, 0xFF, 0xB7, 0x05, 0x13, 0x02, 0x12, 0x06, 0xCC};

// The chip-side program of `mode` must be in the library, hold the whole
// download and be a program of this family built for the part's RAM (its
// start-up, and a jump inside the RAM the download fills): a missing or
// short entry would be clocked in as zeros, and anything else would leave
// the part running something that serves no handshake (a Secure reported
// done without securing). Checked before anything is powered.
int CheckEntry(const Boot05Row& k, int mode) {
    // A part that takes no address burns (and gives back) its map's bytes in
    // order from the map's first byte: a range from above 0 would land on the
    // cells from that first byte up. Refused before the part is powered.
    if (!k.addressed && DeviceStart != 0) {
        RefuseRun(
            " Chip start %Xh not supported: this device takes its data in map order from its first byte.",
            DeviceStart);
        return -1;
    }
    const uint32_t entry = EntryOf(k.row, mode);
    if (entry == 0) {
        RefuseRun(" No chip-side program for this operation on this device!");
        return -1;
    }
    const uint32_t size = OpenLibraryEntry(entry);
    if (size < k.downloadCount) {
        RefuseRun(" Library entry %u holds %u bytes, %u needed!", entry, size, k.downloadCount);
        return -1;
    }
    bool ours = true;
    for (uint32_t i = 0; i < kProgramHead.size(); ++i) ours = ours && ReadLibraryByte(i) == kProgramHead[i];
    const uint32_t ramStart = 0x100 - k.downloadCount;
    ours = ours && ReadLibraryByte(9) == 0x00 && ReadLibraryByte(10) >= ramStart;
    if (!ours) {
        RefuseRun(" Library entry %u holds no 68HC05 chip-side program!", entry);
        return -1;
    }
    return 1;
}

// Power-up, then the chip-side program of `mode` clocked into the part.
void PowerUp(const Boot05Row& k, int mode) {
    if (k.row == 137) ProgressStep = 16;
    const bool programSupply = mode == ModeProgram || (k.row == 136 && mode == ModeSecure);
    SupplyVoltage = programSupply ? Vccp / 10 : ReadVccInUse;
    if (k.row == 139 || k.row == 138 || k.row == 136) BlankValue = 0x00;
    if (k.row == 132 || k.row == 131) BlankValue = Table13x(k.row).blank;
    OpenLibraryEntry(EntryOf(k.row, mode));
    const Dacs d = DacsOf(k.row, mode);
    SetVccRange(d.flag, SupplyTenths());
    SetAllDacVoltages(d.c1, d.c2, d.c3, d.c4);
    SetDeviceGround(1);
    DelayMsSlot(100);
    PowerSteps(k.row, mode);
    for (uint32_t i = 0; i < k.downloadCount; ++i) {
        if (k.downloadBeforeUs != 0) DelayShortUsSlot(k.downloadBeforeUs);
        WriteRegister(k.downloadReg, ReadLibraryByte(i));
        if (k.downloadClock >= 0) {
            WriteRegister(static_cast<uint32_t>(k.downloadClock), 1);
            WriteRegister(static_cast<uint32_t>(k.downloadClock), 0);
        }
        DelayMsSlot(k.downloadAfterMs);
    }
}

// ---- entries ----

bool SkipsBlanks(uint32_t row) { return row == 131 || row == 141 || row == 137 || row == 140; }
bool BlankPerRange(uint32_t row) { return row == 141 || row == 137 || row == 140; }

void BeforeProgramLoop(uint32_t row) {
    switch (row) {
    case 139:
        PinOn(2, 10, VppTenths()), DelayMsSlot(10);
        break;
    case 141:
        PinOn(4, 10, VppTenths()), DelayShortUsSlot(100);
        RampVoltageUp(2, 100, VppTenths(), 5, 10);
        PinOn(2, 36, VppTenths()), DelayMsSlot(10);
        break;
    case 137:
        PinOn(4, 36, VppTenths()), DelayShortUsSlot(100);
        PinOn(4, 10, VppTenths()), DelayShortUsSlot(100);
        break;
    case 140:
        PinOn(2, 20, VppTenths()), DelayMsSlot(10);
        break;
    case 136:
        RampVoltageUp(2, 120, 165, 5, 1);
        WriteRegister(0, 0xE3);
        break;
    default:
        break;
    }
}

// The programming time the row allows a byte it sent.
void AfterByteSent(uint32_t row, uint32_t a, bool eeprom) {
    switch (row) {
    case 132:
    case 131:
    case 138:
        DelayMsSlot(1);
        break;
    case 141:
        DelayMsSlot(eeprom ? (a == 0x1FF ? 300 : 2) : 5);
        break;
    case 137:
        DelayMsSlot(eeprom ? 60 : 2);
        break;
    case 140:
        if (eeprom) DelayMsSlot(60);
        break;
    case 136:
        DelayMsSlot(a == 0x1FF1 ? 2 : 1);
        break;
    default:
        break;
    }
}

// The pacing after every address of a Program loop (skipped blanks excepted).
void AfterProgramAddress(uint32_t row) {
    if (row == 138) DelayShortUsSlot(50);
    if (row == 141 || row == 137) DelayShortUsSlot(200);
}

int ProgramEntry(const Boot05Row& k) {
    if (CheckEntry(k, ModeProgram) != 1) return -1;
    const MemoryMap map = MapOf(k.row);
    PowerUp(k, ModeProgram);
    BeforeProgramLoop(k.row);
    int r = 1;
    bool ended = true;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) {
            ended = false;
            break;
        }
        const Range* in = map.Find(ChipAddress);
        if (in != nullptr) {
            BufferIndex = ChipAddress;
            ExpectedValue = BufferWindow[ChipAddress & 0xFFFF];
            const uint32_t erased = k.row == 131 ? Table13x(k.row).blank : in->eeprom ? 0xFF : 0x00;
            if (SkipsBlanks(k.row) && ExpectedValue == erased) continue;
            if (SendAddress(k, ChipAddress, ModeProgram) != 1 || WriteChipByte(k, ExpectedValue) != 1) {
                r = -1;
                ended = false;
                break;
            }
            AfterByteSent(k.row, ChipAddress, in->eeprom);
        }
        AfterProgramAddress(k.row);
    }
    // The chip-side program burns a byte for as long as the part needs, which
    // the rows' fixed waits after a byte need not cover (row 140 gives an
    // EPROM byte none, rows 132 and 131 1 ms): the last byte may still be
    // burning when the loop ends, so every row waits for ready as row 139
    // does before powering down (else the supply and programming voltage
    // would go mid-write).
    if (ended) r = WaitChipReady(k);
    PowerDown(k.row);
    return r;
}

int ReadEntry(const Boot05Row& k, int mode) {
    if (CheckEntry(k, mode) != 1) return -1;
    const MemoryMap map = MapOf(k.row);
    PowerUp(k, mode);
    if (k.row == 138) WriteRegister(0, 0x7F);
    if (k.row == 136) WriteRegister(0, 0xF3);
    int r = 1;
    for (ChipAddress = DeviceStart; ChipAddress <= DeviceEnd; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        const Range* in = map.Find(ChipAddress);
        if (in != nullptr) {
            BufferIndex = ChipAddress;
            if (BlankPerRange(k.row)) BlankValue = in->eeprom ? 0xFF : 0x00;
            if (SendAddress(k, ChipAddress, mode) != 1 || ReadChipByte(k) != 1) {
                r = -1;
                break;
            }
            if ((r = ProcessReadByte(mode)) == -1) break;
        }
        if (k.row == 138) DelayShortUsSlot(50);
        if (k.row == 137 && (in == nullptr || !in->eeprom) && DeviceVariant <= 1) DelayShortUsSlot(100);
    }
    PowerDown(k.row);
    return r;
}

int EraseEntry(const Boot05Row& k) {
    if (CheckEntry(k, ModeErase) != 1) return -1;
    PowerUp(k, ModeErase);
    if (k.row == 141) {
        RampVoltageUp(2, 100, VppTenths(), 5, 10);
        PinOn(2, 36, VppTenths()), DelayMsSlot(100);
    } else if (k.row == 137) {
        PinOn(4, 36, VppTenths()), DelayMsSlot(10);
    }
    int r = 1;
    for (ChipAddress = 0x100; ChipAddress <= 0x1FF; ++ChipAddress) {
        r = StepProgress(ChipAddress);
        if (r != 1) break;
        if (SendAddress(k, ChipAddress, ModeErase) != 1) {
            r = -1;
            break;
        }
        if (k.row == 141) {
            if (ChipAddress == 0x1FF) DelayMsSlot(300);
        } else {
            DelayMsSlot(10);
        }
    }
    PowerDown(k.row);
    return r;
}

int SecureEntry(const Boot05Row& k) {
    if (CheckEntry(k, ModeSecure) != 1) return -1;
    PowerUp(k, ModeSecure);
    int r = 1;
    if (k.row == 136) {
        r = -1;
        for (int i = 0; i < 10000; ++i) {
            DelayMsSlot(1);
            if ((ReadRegister(1) & 1) != 0) {
                r = 1;
                break;
            }
        }
    } else {
        DelayMsSlot(1);
    }
    PowerDown(k.row);
    return r;
}

// ---- the rows ----

constexpr AddressByte kNoAddress{{}, 0, 0};

constexpr Boot05Row kRow139{.row = 139, .readyReads = 100000, .addressed = true, .nibbles = false,
                            .addressWait = AddressWait::Always, .high = {{}, 1, 20}, .low = {{}, 1, 20},
                            .dataSelect = {2, 0xCF}, .dataReg = 5, .dataStrobeUs = 20,
                            .readSelect = {2, 0xDF}, .readStrobeUs = 30, .readWaits = true, .readClears = false,
                            .strobeReg = 3, .downloadCount = 176, .downloadBeforeUs = 200, .downloadReg = 1,
                            .downloadClock = 4, .downloadAfterMs = 5};
constexpr Boot05Row kRow132{.row = 132, .readyReads = 10000, .addressed = true, .nibbles = false,
                            .addressWait = AddressWait::OnlyProgramming, .high = {{4, 2}, 6, 20},
                            .low = {{4, 2}, 2, 20}, .dataSelect = {0, 0xED}, .dataReg = 7, .dataStrobeUs = 20,
                            .readSelect = {4, 3}, .readStrobeUs = 30, .readWaits = false, .readClears = false,
                            .strobeReg = 3, .downloadCount = 176, .downloadBeforeUs = 150, .downloadReg = 1,
                            .downloadClock = -1, .downloadAfterMs = 2};
constexpr Boot05Row kRow131{.row = 131, .readyReads = 10000, .addressed = true, .nibbles = false,
                            .addressWait = AddressWait::OnlyProgramming, .high = {{0, 0xED}, 6, 20},
                            .low = {{0, 0xED}, 2, 20}, .dataSelect = {0, 0xED}, .dataReg = 7, .dataStrobeUs = 20,
                            .readSelect = {0, 0xFD}, .readStrobeUs = 30, .readWaits = false, .readClears = false,
                            .strobeReg = 3, .downloadCount = 176, .downloadBeforeUs = 150, .downloadReg = 1,
                            .downloadClock = -1, .downloadAfterMs = 2};
constexpr Boot05Row kRow138{.row = 138, .readyReads = 65535, .addressed = false, .nibbles = false,
                            .addressWait = AddressWait::Always, .high = kNoAddress, .low = kNoAddress,
                            .dataSelect = {}, .dataReg = 7, .dataStrobeUs = 60, .readSelect = {},
                            .readStrobeUs = 50, .readWaits = true, .readClears = false, .strobeReg = 3,
                            .downloadCount = 176, .downloadBeforeUs = 0, .downloadReg = 1, .downloadClock = -1,
                            .downloadAfterMs = 11};
constexpr Boot05Row kRow141{.row = 141, .readyReads = 65535, .addressed = true, .nibbles = false,
                            .addressWait = AddressWait::Always, .high = {{}, 6, 30}, .low = {{}, 2, 30},
                            .dataSelect = {4, 0}, .dataReg = 7, .dataStrobeUs = 30, .readSelect = {4, 1},
                            .readStrobeUs = 30, .readWaits = true, .readClears = false, .strobeReg = 3,
                            .downloadCount = 176, .downloadBeforeUs = 200, .downloadReg = 2, .downloadClock = 5,
                            .downloadAfterMs = 5};
constexpr Boot05Row kRow137{.row = 137, .readyReads = 65535, .addressed = true, .nibbles = false,
                            .addressWait = AddressWait::Always, .high = {{}, 6, 50}, .low = {{}, 2, 50},
                            .dataSelect = {4, 0}, .dataReg = 5, .dataStrobeUs = 50, .readSelect = {4, 1},
                            .readStrobeUs = 50, .readWaits = true, .readClears = true, .strobeReg = 3,
                            .downloadCount = 176, .downloadBeforeUs = 150, .downloadReg = 1, .downloadClock = -1,
                            .downloadAfterMs = 2};
constexpr Boot05Row kRow140{.row = 140, .readyReads = 65535, .addressed = true, .nibbles = false,
                            .addressWait = AddressWait::OnlyProgramming, .high = {{}, 6, 25}, .low = {{}, 2, 25},
                            .dataSelect = {4, 0}, .dataReg = 5, .dataStrobeUs = 25, .readSelect = {4, 1},
                            .readStrobeUs = 30, .readWaits = false, .readClears = false, .strobeReg = 3,
                            .downloadCount = 176, .downloadBeforeUs = 200, .downloadReg = 1, .downloadClock = -1,
                            .downloadAfterMs = 5};
constexpr Boot05Row kRow136{.row = 136, .readyReads = 10000, .addressed = true, .nibbles = true,
                            .addressWait = AddressWait::Always, .high = kNoAddress, .low = kNoAddress,
                            .dataSelect = {}, .dataReg = 4, .dataStrobeUs = 20, .readSelect = {},
                            .readStrobeUs = 30, .readWaits = true, .readClears = true, .strobeReg = 2,
                            .downloadCount = 224, .downloadBeforeUs = 150, .downloadReg = 1, .downloadClock = -1,
                            .downloadAfterMs = 2};

int Alg139Read(int mode) { return ReadEntry(kRow139, mode); }
int Alg139Program() { return ProgramEntry(kRow139); }
int Alg132Read(int mode) { return ReadEntry(kRow132, mode); }
int Alg132Program() { return ProgramEntry(kRow132); }
int Alg132Secure() { return SecureEntry(kRow132); }
int Alg131Read(int mode) { return ReadEntry(kRow131, mode); }
int Alg131Program() { return ProgramEntry(kRow131); }
int Alg131Secure() { return SecureEntry(kRow131); }
int Alg138Read(int mode) { return ReadEntry(kRow138, mode); }
int Alg138Program() { return ProgramEntry(kRow138); }
int Alg141Read(int mode) { return ReadEntry(kRow141, mode); }
int Alg141Program() { return ProgramEntry(kRow141); }
int Alg141Erase() { return EraseEntry(kRow141); }
int Alg137Read(int mode) { return ReadEntry(kRow137, mode); }
int Alg137Program() { return ProgramEntry(kRow137); }
int Alg137Erase() { return EraseEntry(kRow137); }
int Alg140Read(int mode) { return ReadEntry(kRow140, mode); }
int Alg140Program() { return ProgramEntry(kRow140); }
int Alg140Erase() { return EraseEntry(kRow140); }
int Alg136Read(int mode) { return ReadEntry(kRow136, mode); }
int Alg136Program() { return ProgramEntry(kRow136); }
int Alg136Secure() { return SecureEntry(kRow136); }

} // namespace

// The rows of this family. Each takes a chip address's byte from that
// buffer address (the parts are at most 32 KB), so none offers byte lanes.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 139, .Read = Alg139Read, .Program = Alg139Program, .NoByteLanes = true, .DataAtChipAddresses = true},
    {.Row = 132,
     .Read = Alg132Read,
     .Program = Alg132Program,
     .Secure = Alg132Secure,
     .VariantCount = kMapRows132,
     .VariantTable = "MemoryMapTable132",
     .NoByteLanes = true,
     .DataAtChipAddresses = true},
    {.Row = 131,
     .Read = Alg131Read,
     .Program = Alg131Program,
     .Secure = Alg131Secure,
     .VariantCount = kMapRows131,
     .VariantTable = "MemoryMapTable131",
     .NoByteLanes = true,
     .DataAtChipAddresses = true},
    {.Row = 138,
     .Read = Alg138Read,
     .Program = Alg138Program,
     .StartRefusal = " Chip start ",
     .NoByteLanes = true,
     .DataAtChipAddresses = true},
    {.Row = 141, .Read = Alg141Read, .Program = Alg141Program, .Erase = Alg141Erase, .NoByteLanes = true, .DataAtChipAddresses = true},
    {.Row = 137, .Read = Alg137Read, .Program = Alg137Program, .Erase = Alg137Erase, .NoByteLanes = true, .DataAtChipAddresses = true},
    {.Row = 140,
     .Read = Alg140Read,
     .Program = Alg140Program,
     .Erase = Alg140Erase,
     .VariantCount = kMapRows140,
     .VariantTable = "MemoryMapTable140",
     .NoByteLanes = true,
     .DataAtChipAddresses = true},
    {.Row = 136, .Read = Alg136Read, .Program = Alg136Program, .Secure = Alg136Secure, .NoByteLanes = true, .DataAtChipAddresses = true},
};

ROW_FAMILY("Bootstrap05", Mcu, 300, kAlgorithmRows);

std::vector<Boot05EntryUse> Bootstrap05LibraryEntries() {
    std::vector<Boot05EntryUse> uses;
    const uint32_t saved = DeviceVariant;
    for (const RowDef& def : kAlgorithmRows) {
        const uint32_t variants = def.VariantCount != 0 ? def.VariantCount : 3;
        for (uint32_t v = 0; v < variants; ++v) {
            DeviceVariant = v;
            for (int mode : {ModeBlank, ModeProgram, ModeErase, ModeSecure}) {
                const bool offered = mode == ModeBlank || (mode == ModeProgram && def.Program != nullptr) ||
                                     (mode == ModeErase && def.Erase != nullptr) ||
                                     (mode == ModeSecure && def.Secure != nullptr);
                if (!offered) continue;
                const uint32_t count = def.Row == 136 ? 224 : 176;
                uses.push_back({def.Row, v, static_cast<uint32_t>(mode), EntryOf(def.Row, mode), count});
            }
        }
    }
    DeviceVariant = saved;
    return uses;
}
