#include "logic/GalIdString.h"

#include <cstring>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "engine/RowDef.h"
#include "logic/FuseCells.h"
#include "logic/GalFrame.h"
#include "logic/PalEmulation.h"

uint32_t ProgramPulseWidth = 0;
uint32_t ErasePulseWidth = 0;
uint32_t ClearPulseWidth = 0;

namespace {

enum PowerMode { kWriting = 1, kReading = 2 };

constexpr int kClockPin = 22;
constexpr int kDataInPin = 23;
constexpr int kStrobePin = 25;
constexpr int kIdAddress = 58;
constexpr int kSecureAddress = 61;
constexpr int kEraseAddress = 63;
constexpr int kEditTenths = 110;
constexpr int kEraseTenths = 125;
constexpr int kIdleEditTenths = 50;
constexpr int kIdBytesMax = 12;

// An identification text and the widths it selects.
struct IdChoice {
    const char* text;
    uint32_t program, erase, clear;
};

// The identification bytes: the p-th bit read is bit p mod 8 of byte
// n - 1 - p / 8; `reversed` gathers byte p / 8, bit 7 - p mod 8.
struct IdBytes {
    uint8_t bytes[kIdBytesMax] = {};
    uint8_t reversed[kIdBytesMax] = {};
    int count = 0;

    void Add(int p, uint32_t bit) {
        if (p >= count * 8) return;
        bytes[count - 1 - p / 8] |= static_cast<uint8_t>((bit & 1) << (p % 8));
        reversed[p / 8] |= static_cast<uint8_t>((bit & 1) << (7 - p % 8));
    }
    bool Is(const char* text) const { return std::memcmp(bytes, text, static_cast<size_t>(count)) == 0; }
    bool ReversedIs(const char* text) const { return std::memcmp(reversed, text, static_cast<size_t>(count)) == 0; }
};

// The erase of these parts: erase, clear walk, erase, clear walk, erase.
template <class Erase, class Clear> void EraseWithClearWalks(Erase erase, Clear clear) {
    for (int k = 0; k < 3; ++k) {
        if (k != 0) clear();
        erase();
    }
}

// Accepts the first matching entry; false when none matches.
template <size_t N> bool ChooseWidths(const IdBytes& id, const IdChoice (&table)[N]) {
    for (const IdChoice& c : table) {
        if (id.Is(c.text)) {
            ProgramPulseWidth = c.program;
            ErasePulseWidth = c.erase;
            ClearPulseWidth = c.clear;
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------
// Rows 228, 243, 229: parallel row address, device image at fuse 10000.

struct ParallelType;
using ParallelStep = void (*)(const ParallelType&);

struct ParallelType {
    uint32_t Row;
    int AddressGroup;     // pin group of the row address
    int AddressPins[6];   // bit 0 first
    int LowGroupPins[5];  // driven low at power-up (row 229), 0 = none
    int HeldLowPin;       // row 228/243: pin 15
    int DataOutPin, ProgramPin, EditPin, SecondLowPin;
    uint32_t EditSettleUs;
    int ArrayRows;        // also the UES address
    uint32_t UesFuse;
    const uint16_t* ArchOrder;
    bool (*Identify)(const ParallelType& t, const IdBytes& id);
    const char* Refusal;
    void (*ClockBit)(uint32_t bit, bool last);
    void (*PulseRow)(const ParallelType& t, uint32_t ms);
    void (*LoadForRead)(const ParallelType& t, int address);
    uint32_t (*ProgramWidth)();
    ParallelStep AfterProgram;   // row 243: the pulse at address 59
    ParallelStep EraseStep;
    uint32_t (*ArchClearWidth)();
    ParallelStep BeforeSecure;   // row 243: clock high into the pulse
    ParallelStep LoadId;         // loads the identification row
};

constexpr int kArchAddress = 60;
constexpr int kRowBits = 64;
constexpr int kArchBits = 82;

void PutAddress(const ParallelType& t, int address) {
    WritePinGroup(t.AddressGroup, 0, 5, static_cast<uint64_t>(address));
}

void ClockEditBit(uint32_t bit, bool) {
    SetPin(kDataInPin, bit & 1);
    PulsePin(kClockPin, 3);
    SetPin(kDataInPin, 0);
}

// Clock and data stay high from the last bit of a row into its pulse.
void ClockEditBitHeld(uint32_t bit, bool last) {
    SetPin(kDataInPin, bit & 1);
    SetPin(kClockPin, 1);
    if (last) return;
    SetPin(kClockPin, 0);
    if (bit & 1) SetPin(kDataInPin, 0);
}

void PulseRowEnabled(const ParallelType& t, uint32_t ms) {
    SetPin(t.ProgramPin, 1);
    SetPin(kStrobePin, 0);
    DelayMsSlot(ms);
    SetPin(kStrobePin, 1);
    SetPin(t.ProgramPin, 0);
}

void PulseRowClocked(const ParallelType&, uint32_t ms) {
    SetPin(kStrobePin, 0);
    DelayMsSlot(ms);
    SetPin(kStrobePin, 1);
    SetPin(kClockPin, 0);
    SetPin(kDataInPin, 0);
}

void LoadRow(const ParallelType& t, int address) {
    PutAddress(t, address);
    SetPin(kStrobePin, 0);
    SetPin(kStrobePin, 1);
}

// Program/verify low only for the load strobe.
void LoadRowFramed(const ParallelType& t, int address) {
    PutAddress(t, address);
    SetPin(t.ProgramPin, 0);
    SetPin(kStrobePin, 0);
    SetPin(kStrobePin, 1);
    SetPin(t.ProgramPin, 1);
}

uint32_t TenMs() { return 10; }
uint32_t OneMs() { return 1; }
uint32_t ProgramWidthById() { return ProgramPulseWidth; }
uint32_t ClearWidthById() { return ClearPulseWidth; }

void PowerDownEditMode(const ParallelType& t) {
    SetPin(t.ProgramPin, 2);
    SetPin(t.SecondLowPin, 2);
    ApplyVoltageToPin(2, t.EditPin, 0, kIdleEditTenths);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// Row walk: the array rows, the UES row, the architecture row.
int Steps(const ParallelType& t) { return t.ArrayRows + 2; }
int StepAddress(const ParallelType& t, int step) { return step <= t.ArrayRows ? step : kArchAddress; }
int StepBits(const ParallelType& t, int step) { return step <= t.ArrayRows ? kRowBits : kArchBits; }
uint32_t StepFuse(const ParallelType& t, int step, int p) {
    if (step < t.ArrayRows) return static_cast<uint32_t>(p * t.ArrayRows + step);
    if (step == t.ArrayRows) return t.UesFuse + static_cast<uint32_t>(p);
    return t.ArchOrder[p];
}

int OpenDeviceAccess(const ParallelType& t, int mode) {
    const int* a = t.AddressPins;
    DefinePinGroup("", t.AddressGroup, a[0], a[1], a[2], a[3], a[4], a[5], 0);
    const int* g = t.LowGroupPins;
    if (g[0] != 0) DefinePinGroup("", 0, g[0], g[1], g[2], g[3], g[4], 0);
    GalChooseSupply(mode);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    if (g[0] != 0) WritePinGroup(0, 0, 4, 0);
    if (t.HeldLowPin != 0) SetPin(t.HeldLowPin, 0);
    SetPin(kClockPin, 0);
    SetPin(kDataInPin, 0);
    SetPin(kStrobePin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(kStrobePin, 1);
    ApplyVoltageToPin(2, t.EditPin, 1, kEditTenths);
    DelayShortUsSlot(t.EditSettleUs);
    SetPin(t.ProgramPin, 0);
    SetPin(t.SecondLowPin, 0);

    t.LoadId(t);
    IdBytes id;
    id.count = 8;
    for (int p = 0; p < kRowBits; ++p) {
        ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
        id.Add(p, ReadValue);
        if (p != kRowBits - 1) t.ClockBit(0, false);
    }
    if (t.Identify(t, id)) return 1;
    PowerDownEditMode(t);
    ShowMessageLine(t.Refusal);
    return -1;
}

void LoadIdRow(const ParallelType& t) { LoadRow(t, kIdAddress); }

// Row 243: the load strobe with program/verify low as left by the power-up,
// then program/verify high for the rest of the entry.
void LoadIdRowThenEnable(const ParallelType& t) {
    LoadRow(t, kIdAddress);
    SetPin(t.ProgramPin, 1);
}

bool IdentifyAllOnes(const ParallelType&, const IdBytes& id) {
    return id.Is("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF");
}

const IdChoice kAlg243Ids[] = {
    {"1F16V8C0", 20, 200, 1}, {"1F16V8C3", 40, 400, 2}, {"1F16V8Z0", 50, 200, 1},
    {"1F16V8Z3", 200, 400, 2}, {"1F16V8Z5", 50, 200, 1}, {"1F16V8Z7", 200, 400, 2},
};
bool Identify243(const ParallelType&, const IdBytes& id) { return ChooseWidths(id, kAlg243Ids); }

bool Identify229(const ParallelType&, const IdBytes& id) {
    return id.Is("1F20V8B0") || id.ReversedIs("1F20V8B0");
}

// Shifts one row's bits in (the buffer's image bits, or zeros) and pulses it.
void WriteRow(const ParallelType& t, int step, bool image, uint32_t ms) {
    PutAddress(t, StepAddress(t, step));
    const int bits = StepBits(t, step);
    for (int p = 0; p < bits; ++p) {
        const uint32_t fuse = StepFuse(t, step, p);
        uint32_t bit = 0;
        if (image) {
            StepProgressByAddress(fuse); // a user break does not stop programming
            bit = GetBufferBit(ShadowFuseBase + fuse);
        }
        t.ClockBit(bit, p == bits - 1);
    }
    t.PulseRow(t, ms);
}

void ClearWalk(const ParallelType& t) {
    for (int step = 0; step < Steps(t); ++step)
        WriteRow(t, step, false, step <= t.ArrayRows ? 1 : t.ArchClearWidth());
}

void EraseAtHigherVoltage(const ParallelType& t) {
    SetDacVoltage(2, kEraseTenths);
    DelayShortUsSlot(100);
    PutAddress(t, kEraseAddress);
    t.PulseRow(t, 50);
    SetDacVoltage(2, kEditTenths);
    DelayShortUsSlot(100);
}

void EraseById(const ParallelType& t) {
    PutAddress(t, kEraseAddress);
    t.PulseRow(t, ErasePulseWidth);
}

// Row 243: after the architecture row, address 59 with the clock high.
void PulseAddress59(const ParallelType& t) {
    PutAddress(t, 59);
    SetPin(kDataInPin, 0);
    SetPin(kClockPin, 1);
    t.PulseRow(t, ProgramPulseWidth);
}

void ClockHigh(const ParallelType&) { SetPin(kClockPin, 1); }

int ParallelRead(const ParallelType& t, int mode) {
    if (mode == 3) RemapFuseRows(1);
    if (OpenDeviceAccess(t, kReading) != 1) return -1;
    int r = 1;
    for (int step = 0; step < Steps(t) && r != -1; ++step) {
        t.LoadForRead(t, StepAddress(t, step));
        const int bits = StepBits(t, step);
        for (int p = 0; p < bits; ++p) {
            ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
            if (p != bits - 1) t.ClockBit(0, false);
            r = CheckShadowFuseBit(static_cast<int>(ShadowFuseBase + StepFuse(t, step, p)), 0,
                                   static_cast<int>(ReadValue), mode);
            if (r == -1) break;
        }
    }
    PowerDownEditMode(t);
    if (mode == 2) RemapFuseRows(2);
    return r;
}

int ParallelProgram(const ParallelType& t) {
    RemapFuseRows(1);
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    for (int step = 0; step < Steps(t); ++step) WriteRow(t, step, true, t.ProgramWidth());
    if (t.AfterProgram != nullptr) t.AfterProgram(t);
    PowerDownEditMode(t);
    return 1;
}

int ParallelErase(const ParallelType& t) {
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    EraseWithClearWalks([&] { t.EraseStep(t); }, [&] { ClearWalk(t); });
    PowerDownEditMode(t);
    return 1;
}

int ParallelSecure(const ParallelType& t) {
    ReadBackAfterSecure = 0;
    if (OpenDeviceAccess(t, kWriting) != 1) return -1;
    PutAddress(t, kSecureAddress);
    if (t.BeforeSecure != nullptr) t.BeforeSecure(t);
    t.PulseRow(t, t.ProgramWidth());
    PowerDownEditMode(t);
    return 1;
}

const ParallelType kAlg228 = {
    228, 0, {32, 17, 18, 19, 20, 21}, {0, 0, 0, 0, 0}, 15, 26, 33, 16, 32, 20,
    32, 2056, GalArchitectureRowOrder[1].data(), IdentifyAllOnes, " Invalid Chip ID.",
    ClockEditBit, PulseRowEnabled, LoadRow, TenMs, nullptr, EraseAtHigherVoltage, OneMs, nullptr, LoadIdRow,
};
const ParallelType kAlg243 = {
    243, 0, {32, 17, 18, 19, 20, 21}, {0, 0, 0, 0, 0}, 15, 26, 33, 16, 32, 20,
    32, 2056, GalArchitectureRowOrder[1].data(), Identify243, " Invalid Chip ID.",
    ClockEditBitHeld, PulseRowClocked, LoadRowFramed, ProgramWidthById, PulseAddress59, EraseById, ClearWidthById,
    ClockHigh, LoadIdRowThenEnable,
};
const ParallelType kAlg229 = {
    229, 1, {33, 15, 16, 17, 20, 21}, {13, 18, 19, 26, 35}, 0, 27, 34, 14, 33, 100,
    40, 2568, Gal20V8ArchitectureRowOrder[1].data(), Identify229, " Invalid Chip ID or Old Device.",
    ClockEditBit, PulseRowEnabled, LoadRow, TenMs, nullptr, EraseAtHigherVoltage, OneMs, nullptr, LoadIdRow,
};

// ---------------------------------------------------------------------------
// Rows 230, 247: 22V10 types, the row address shifted in with the data.

struct SerialType {
    uint32_t Row;
    int EditTenths;
    void (*ShiftAddress)(int address);
    bool LastBitLive;          // row 247: the last architecture bit and address bit 0 unclocked
    const IdChoice* Ids;
    int IdCount;
    uint32_t SecureWidthUs;    // 0: ProgramPulseWidth
    bool PowerDownFuse;        // row 247: fuse 5892 at address 59
};

constexpr int kArchSelectPin = 20;
constexpr int kSerialProgramPin = 15;
constexpr int kSerialDataOutPin = 26;
constexpr int kSerialEditPin = 14;
constexpr int kColumns = 45; // 44 array columns and the UES column
constexpr int kColumnBits = 132;
constexpr int kUesColumn = 44;
constexpr int kUesFirst = 68;
constexpr uint32_t kUesFuse = 5828;
constexpr uint32_t kArchFuse = 5808;
constexpr int kArchBits22V10 = 20;
constexpr int kPowerDownAddress = 59;
constexpr uint32_t kPowerDownFuse = 5892;
constexpr uint32_t kNoFuse = 0xFFFFFFFF;

void SerialClockBit(uint32_t bit) { ClockEditBit(bit, false); }

void ShiftAddressLsbFirst(int address) {
    for (int k = 0; k < 6; ++k) SerialClockBit(static_cast<uint32_t>(address >> k) & 1);
}

// Bits 5-1 clocked; bit 0 stays on the data pin for the strobe.
void ShiftAddressLiveBit0(int address) {
    for (int k = 5; k >= 1; --k) SerialClockBit(static_cast<uint32_t>(address >> k) & 1);
    SetPin(kDataInPin, address & 1);
}

void SerialPulseRow(uint32_t us) {
    SetPin(kSerialProgramPin, 1);
    PulsePinTimed(kStrobePin, 2, us);
    SetPin(kSerialProgramPin, 0);
}

uint32_t ColumnFuse(int column, int p) {
    if (column < kUesColumn) return static_cast<uint32_t>(p * 44 + column);
    return p >= kUesFirst ? kUesFuse + static_cast<uint32_t>(p - kUesFirst) : kNoFuse;
}
uint32_t ArchFuse(int k) { return kArchFuse + static_cast<uint32_t>(k ^ 1); }

void SerialPowerDown(const SerialType&) {
    ApplyVoltageToPin(2, kSerialEditPin, 0, kIdleEditTenths);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The parts' maps have no UES (variant 0) or no power-down choice
// (variant 1): those fuses are kept 0 in the buffer.
void ClearAbsentFuses() {
    if (DeviceVariant == 0) {
        for (uint32_t f = kUesFuse; f <= kPowerDownFuse; ++f) SetBufferBit(f, 0);
    } else if (DeviceVariant == 1) {
        SetBufferBit(kPowerDownFuse, 0);
    }
}

int SerialOpen(const SerialType& t, int mode) {
    if (t.PowerDownFuse) ClearAbsentFuses();
    DefinePinGroup("", 0, 13, 16, 17, 18, 19, 21, 0);
    GalChooseSupply(mode);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 50, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(0, 0, 5, 0);
    for (int pin : {kArchSelectPin, kClockPin, kDataInPin, kSerialProgramPin, kStrobePin}) SetPin(pin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(kStrobePin, 1);
    ApplyVoltageToPin(2, kSerialEditPin, 1, t.EditTenths);
    DelayShortUsSlot(100);

    t.ShiftAddress(kIdAddress);
    PulsePin(kStrobePin, 2);
    IdBytes id;
    id.count = 9;
    for (int p = 0; p < kColumnBits; ++p) {
        id.Add(p, static_cast<uint32_t>(GetPin(kSerialDataOutPin)));
        if (p != kColumnBits - 1) SerialClockBit(0);
    }
    for (int k = 0; k < t.IdCount; ++k) {
        if (id.Is(t.Ids[k].text)) {
            ProgramPulseWidth = t.Ids[k].program;
            ErasePulseWidth = t.Ids[k].erase;
            return 1;
        }
    }
    SerialPowerDown(t);
    ShowMessageLine(" Invalid Chip ID.");
    return -1;
}

// Reads `bits` bits of the loaded row; clocks after each but the last
// unless `clockLast`. -1 at the first failing check.
int ReadBits(int bits, bool clockLast, bool progress, uint32_t (*fuse)(int, int), int column, int mode) {
    int r = 1;
    for (int p = 0; p < bits; ++p) {
        const uint32_t f = fuse(column, p);
        if (progress) StepProgressByAddress(f == kNoFuse ? 0 : f);
        ReadValue = static_cast<uint32_t>(GetPin(kSerialDataOutPin));
        if (p != bits - 1 || clockLast) SerialClockBit(0);
        if (f != kNoFuse) r = CheckFuseBit(static_cast<int>(f), 0, static_cast<int>(ReadValue), mode);
        if (r == -1) return -1;
    }
    return r;
}

int SerialReadWalk(const SerialType& t, int mode) {
    const bool live = t.LastBitLive;
    if (!live) t.ShiftAddress(0);
    int r = 1;
    for (int c = 0; c < kColumns; ++c) {
        if (live) t.ShiftAddress(c);
        PulsePin(kStrobePin, 2);
        if (live) SetPin(kDataInPin, c == 31 ? 1 : 0);
        r = ReadBits(kColumnBits, false, true, ColumnFuse, c, mode);
        if (r == -1) return -1;
        if (!live) t.ShiftAddress(c + 1);
    }
    SetPin(kArchSelectPin, 1);
    PulsePin(kStrobePin, 2);
    r = ReadBits(kArchBits22V10, !live, false, [](int, int k) { return ArchFuse(k); }, 0, mode);
    SetPin(kArchSelectPin, 0);
    if (r == -1 || !t.PowerDownFuse) return r;
    t.ShiftAddress(kPowerDownAddress);
    PulsePin(kStrobePin, 2);
    return ReadBits(1, false, false, [](int, int) { return kPowerDownFuse; }, 0, mode);
}

int SerialRead(const SerialType& t, int mode) {
    if (SerialOpen(t, kReading) != 1) return -1;
    const int r = SerialReadWalk(t, mode);
    SerialPowerDown(t);
    return r;
}

// The program walk (the buffer's bits, ProgramPulseWidth) or the clear walk
// of the erase (zeros, 1 us pulses).
void SerialWriteWalk(const SerialType& t, bool image) {
    const uint32_t width = image ? ProgramPulseWidth : 1;
    for (int c = 0; c < kColumns; ++c) {
        for (int p = 0; p < kColumnBits; ++p) {
            const uint32_t f = ColumnFuse(c, p);
            uint32_t bit = 0;
            if (image) {
                StepProgressByAddress(f == kNoFuse ? 0 : f);
                if (f != kNoFuse) bit = GetBufferBit(f);
            }
            SerialClockBit(bit);
        }
        t.ShiftAddress(c);
        SerialPulseRow(width);
    }
    SetPin(kArchSelectPin, 1);
    for (int k = 0; k < kArchBits22V10; ++k) {
        const uint32_t bit = image ? GetBufferBit(ArchFuse(k)) : 0;
        if (t.LastBitLive && k == kArchBits22V10 - 1) {
            SetPin(kDataInPin, bit);
        } else {
            SerialClockBit(bit);
        }
    }
    SerialPulseRow(width);
    SetPin(kArchSelectPin, 0);
    if (!t.PowerDownFuse) return;
    t.ShiftAddress(kPowerDownAddress);
    if (!image || GetBufferBit(kPowerDownFuse) == 0) SerialPulseRow(width);
}

int SerialProgram(const SerialType& t) {
    if (SerialOpen(t, kWriting) != 1) return -1;
    SerialWriteWalk(t, true);
    SerialPowerDown(t);
    return 1;
}

// Pins 15, 16, 18-21 high for the erase pulse; pin 20 stays high into the
// clear walk that follows.
void SerialEraseStep() {
    SetPin(kArchSelectPin, 1);
    WritePinGroup(0, 0, 5, kIdAddress);
    SerialPulseRow(ErasePulseWidth);
    WritePinGroup(0, 0, 5, 0);
}

int SerialErase(const SerialType& t) {
    if (SerialOpen(t, kWriting) != 1) return -1;
    EraseWithClearWalks(SerialEraseStep, [&] { SerialWriteWalk(t, false); });
    SerialPowerDown(t);
    return 1;
}

int SerialSecure(const SerialType& t) {
    ReadBackAfterSecure = 0;
    if (SerialOpen(t, kWriting) != 1) return -1;
    t.ShiftAddress(kSecureAddress);
    SerialPulseRow(t.SecureWidthUs != 0 ? t.SecureWidthUs : ProgramPulseWidth);
    SerialPowerDown(t);
    return 1;
}

const IdChoice kAlg230Ids[] = {
    {"1F22V10B0", 10000, 50000, 0},
    {"\x00\x00\x00\x00\x00\x00\x00\x00\x00", 10000, 350000, 0},
    {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 10000, 350000, 0},
    {"\x42\x0C\x8C\x6A\x4C\x4C\x62\x8C\x00", 10000, 350000, 0},
};
const IdChoice kAlg247Ids[] = {
    {"1F22V10C1", 5000, 50000, 0},   {"1F22V10Z1", 5000, 50000, 0}, {"1F22L10C0", 5000, 50000, 0},
    {"1F22L10Z0", 5000, 50000, 0},   {"1F22V10C3", 20000, 200000, 0}, {"1F22V10Z3", 20000, 200000, 0},
};
const SerialType kAlg230 = {230, 125, ShiftAddressLsbFirst, false, kAlg230Ids, 4, 10000, false};
const SerialType kAlg247 = {247, 120, ShiftAddressLiveBit0, true, kAlg247Ids, 6, 0, true};

// ---------------------------------------------------------------------------
// Row 242: the 1500 type. 8-bit row address on pins, 177-bit rows, the
// twelve identification bytes in row 255.

constexpr int k242Load = 4;
constexpr int k242Data = 13;
constexpr int k242Clock = 45;
constexpr int k242Out = 26;
constexpr int k242Enable = 46;
constexpr int k242Edit = 3;
constexpr int k242List[] = {16, 18, 19, 20, 21, 22, 23, 27, 28, 29, 30, 31, 33, 34, 35, 36, 38, 39, 40, 41, 42, 43};
constexpr int k242Rows = 152;
constexpr int k242LastRow = 254;
constexpr int k242IdRow = 255;
constexpr int k242EraseRow = 246;
constexpr int k242Bits = 177;
constexpr int kIdTextBits = 96;
constexpr int kEntryTenths = 62;
constexpr int kLoadTenths = 50;

const IdChoice kAlg242Ids[] = {
    {"001F15000000", 5000, 50000, 0},
    {"001F15000003", 20000, 200000, 0},
    {"001F1500A000", 5000, 50000, 0},
    {"\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 20, 200, 0},
};

void Clock242(uint32_t bit) {
    SetPin(k242Data, static_cast<int>(bit & 1));
    PulsePin(k242Clock, 3);
    SetPin(k242Data, 0);
}

void DriveList242(int level) {
    for (int p : k242List) SetPin(p, level);
}

void Address242(int row) { WritePinGroup(0, 0, 7, static_cast<uint64_t>(row)); }

// Variant 0 runs at 6.2 V and takes each row address at 5.0 V.
void LoadRow(int row) {
    Address242(row);
    if (DeviceVariant == 0) {
        SetDacVoltage(3, kLoadTenths);
        SetDacVoltage(4, kLoadTenths);
        DelayShortUsSlot(20);
    }
    PulsePin(k242Load, 2);
    if (DeviceVariant == 0) {
        SetDacVoltage(3, kEntryTenths);
        SetDacVoltage(4, kEntryTenths);
    }
}

void PulseRow242(uint32_t us) {
    SetPin(k242Enable, 1);
    PulsePinTimed(k242Load, 2, us);
    SetPin(k242Enable, 0);
}

void PowerDown242() {
    SetPin(k242Enable, 2);
    for (int p : k242List) SetPin(p, 2);
    ApplyVoltageToPin(1, k242Edit, 0, kIdleEditTenths);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// The variant-0 part's way into its edit mode: 11.0 V on the clock pin,
// the supply raised to 6.2 V.
void EntrySequence242() {
    SetPin(6, 1);
    SetSupplyPinA(k242Clock, 1);
    SetPin(k242Clock, 1);
    SetSupplyPinA(k242Clock, 0);
    SetPin(k242Enable, 1);
    ApplyVoltageToPin(1, k242Edit, 0, kIdleEditTenths);
    SetPin(6, 0);
    SetPin(21, 0);
    DriveList242(1);
    for (int k = 0; k < 32; ++k) PulsePin(k242Clock, 2);
    SetPin(k242Enable, 0);
    SetPin(k242Load, 0);
    ApplyVoltageToPin(1, k242Clock, 1, kEditTenths);
    SetPin(k242Clock, 0);
    ApplyVoltageToPin(1, k242Clock, 0, 0);
    SetPin(k242Load, 1);
    SetDacVoltage(3, kEntryTenths);
    SetDacVoltage(4, kEntryTenths);
    for (int p : k242List) SetPin(p, 2);
    ApplyVoltageToPin(1, k242Edit, 1, kEditTenths);
}

int Open242(int mode) {
    ReadBackAfterSecure = 0;
    DefinePinGroup("", 0, 6, 7, 8, 9, 10, 11, 14, 15, 0);
    GalChooseSupply(mode);
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, 0, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    WritePinGroup(0, 0, 7, 0);
    for (int p : {k242Enable, k242Clock, k242Data, k242Load}) SetPin(p, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(k242Load, 1);
    ApplyVoltageToPin(1, k242Edit, 1, kEditTenths);
    DelayShortUsSlot(100);
    if (DeviceVariant == 0) {
        EntrySequence242();
    } else {
        DriveList242(0);
    }
    LoadRow(k242IdRow);
    IdBytes id;
    id.count = kIdBytesMax;
    for (int p = 0; p < k242Bits; ++p) {
        id.Add(p, static_cast<uint32_t>(GetPin(k242Out)));
        if (p != k242Bits - 1) Clock242(0);
    }
    if (ChooseWidths(id, kAlg242Ids)) return 1;
    PowerDown242();
    ShowMessageLine(" Invalid Chip ID.");
    return -1;
}

constexpr uint32_t kNo242Fuse = 0xFFFFFFFF;

uint32_t Fuse242(int row, int bit) {
    if (bit < 160) return row == k242LastRow ? 24832 + static_cast<uint32_t>(bit) : static_cast<uint32_t>(bit * 152 + row);
    if (bit < 176) return row < 32 ? 24320 + 32 * static_cast<uint32_t>(bit - 160) + static_cast<uint32_t>(row) : kNo242Fuse;
    if (row == 1) return 24992;
    if (row == 5 && DeviceVariant == 1) return 24993;
    return kNo242Fuse;
}

// Rows 0-151, then 254.
int Row242(int k) { return k < k242Rows ? k : k242LastRow; }

int Alg242ReadWalk(int mode) {
    int r = 1;
    for (int k = 0; k <= k242Rows; ++k) {
        const int row = Row242(k);
        LoadRow(row);
        for (int b = 0; b < k242Bits; ++b) {
            ReadValue = static_cast<uint32_t>(GetPin(k242Out));
            if (b != k242Bits - 1) Clock242(0);
            const uint32_t f = Fuse242(row, b);
            if (f == kNo242Fuse) continue;
            StepProgressByAddress(f);
            r = CheckFuseBit(static_cast<int>(f), 0, static_cast<int>(ReadValue), mode);
            if (r == -1) return -1;
        }
    }
    return r;
}

// Bits 0-175 clocked, bit 176 left on the data pin for the pulse.
void WriteRow242(int row, uint32_t width) {
    Address242(row);
    for (int b = 0; b < k242Bits - 1; ++b) {
        const uint32_t f = Fuse242(row, b);
        uint32_t bit = 1;
        if (f != kNo242Fuse) {
            StepProgressByAddress(f);
            bit = GetBufferBit(f);
        }
        Clock242(bit);
    }
    const uint32_t last = Fuse242(row, k242Bits - 1);
    SetPin(k242Data, last == kNo242Fuse ? 1 : static_cast<int>(GetBufferBit(last)));
    PulseRow242(width);
    SetPin(k242Data, 0);
}

void Erase242Step() {
    Address242(k242EraseRow);
    PulseRow242(ErasePulseWidth);
}

void Clear242Walk() {
    for (int b = 0; b < k242Bits; ++b) Clock242(0);
    for (int k = 0; k <= k242Rows; ++k) {
        Address242(Row242(k));
        PulseRow242(1000);
    }
}

// ---------------------------------------------------------------------------
// Row 248: the V750 type. Mode pins, the row address shifted in behind the
// data with bit 6 left live on the data pin, 171-bit rows.

constexpr int k248Data = 23;
constexpr int k248Clock = 22;
constexpr int k248Out = 26;
constexpr int k248Load = 25;
constexpr int k248Enable = 15;
constexpr int k248Select14500 = 17;
constexpr int k248SelectRows = 20;
constexpr int k248Edit = 14;
constexpr int k248Bits = 171;
constexpr int k248Rows = 85;
constexpr int k248FirstRow96 = 96;
constexpr int k248Rows96 = 7;
constexpr int k248Row96Bits = 10;
constexpr int k248IdRow = 127;
constexpr int k248SecureRow = 124;
constexpr int k248SecurityRow = 111;
constexpr int k248FuseRow = 125;
constexpr int k248EraseModes = 15;
constexpr int kWriteEditTenths = 125;
constexpr uint32_t k248Fuse14499 = 14499, k248Fuse14500 = 14500;
constexpr uint32_t kNo248Fuse = 0xFFFFFFFF;
constexpr int kEraseOpen = 5;

const IdChoice kAlg248Suffixes[] = {
    {"C000", 10, 50, 0}, {"CL00", 10, 50, 0}, {"LVC0", 10, 50, 0}, {"LVZ0", 10, 50, 0},
    {"C003", 20, 100, 0}, {"CL03", 20, 100, 0}, {"LVC3", 20, 100, 0}, {"LVZ3", 20, 100, 0},
};

void Clock248(uint32_t bit) {
    SetPin(k248Data, static_cast<int>(bit & 1));
    PulsePin(k248Clock, 3);
}

void ShiftRowAddress(int address, bool hold) {
    for (int k = 0; k < 6; ++k) Clock248(static_cast<uint32_t>(address >> k) & 1);
    SetPin(k248Data, (address >> 6) & 1);
    if (hold) SetPin(k248Clock, 1);
}

void PulseRow248(uint32_t ms, bool keep) {
    SetPin(k248Enable, 1);
    SetPin(k248Load, 0);
    DelayMsSlot(ms);
    SetPin(k248Load, 1);
    if (!keep) SetPin(k248Enable, 0);
}

uint32_t Fuse248(int row, int p) {
    if (row >= k248FirstRow96) {
        const int j = row - k248FirstRow96;
        return j < 3 ? 14364 + 3 * static_cast<uint32_t>(p) + static_cast<uint32_t>(j)
                     : 14392 + 4 * static_cast<uint32_t>(p) + static_cast<uint32_t>(j);
    }
    if (row == k248Rows - 1) return p >= 107 ? 14435 + static_cast<uint32_t>(p - 107) : kNo248Fuse;
    int t = p;
    if (p >= 170) t = 170;
    else if (p >= 157) t = 326 - p;
    else if (p >= 142) t = 298 - p;
    else if (p >= 125) t = 266 - p;
    else if (p >= 106) t = 230 - p;
    else if (p >= 85) t = 190 - p;
    return static_cast<uint32_t>(t * 84 + row);
}

void PowerDown248() {
    ApplyVoltageToPin(2, k248Edit, 0, kIdleEditTenths);
    SetDevicePower(0, 50);
}

// Loads row 111 after flushing the register with ones: its last bit is 0
// on a secured part.
bool Secured248() {
    for (int k = 0; k < 180 + k248Bits; ++k) Clock248(1);
    ShiftRowAddress(k248SecurityRow, false);
    PulsePin(k248Load, 2);
    uint32_t last = 1;
    for (int p = 0; p < k248Bits; ++p) {
        last = static_cast<uint32_t>(GetPin(k248Out));
        if (p != k248Bits - 1) Clock248(0);
    }
    return last == 0;
}

// The parts without the UES or without fuse 14500/14499 keep those 0.
void ClearAbsent248() {
    uint32_t first = k248Fuse14499;
    uint32_t last = k248Fuse14499;
    if (DeviceVariant == 0 || DeviceVariant == 4) {
        first = 14395;
        last = k248Fuse14500;
    } else if (DeviceVariant == 1 || DeviceVariant == 5) {
        first = 14435;
        last = k248Fuse14500;
    } else if (DeviceVariant != 2 && DeviceVariant != 6) {
        return;
    }
    for (uint32_t f = first; f <= last; ++f) SetBufferBit(f, 0);
}

bool Identify248(const IdBytes& id) {
    if (std::memcmp(id.bytes, "001FV750", 8) != 0) return false;
    if (DeviceVariant == 2 && std::memcmp(id.bytes + 8, "CL", 2) == 0) return false;
    for (const IdChoice& c : kAlg248Suffixes) {
        if (std::memcmp(id.bytes + 8, c.text, 4) == 0) {
            ProgramPulseWidth = c.program;
            ErasePulseWidth = c.erase;
            return true;
        }
    }
    return false;
}

// Mode 5 (erase) skips the security check.
int Open248(int mode) {
    ClearAbsent248();
    SupplyVoltage = 50;
    DefinePinGroup("", 0, 16, 18, 19, 21, 0);
    SetVccRange(0, 50);
    SetAllDacVoltages(0, 0, 50, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(13, 36);
    SetDevicePower(1, 50);
    WritePinGroup(0, 0, 3, 0);
    for (int p : {k248Enable, k248Select14500, k248SelectRows, k248Clock, k248Data}) SetPin(p, 0);
    SetPin(k248Load, 1);
    ApplyVoltageToPin(2, k248Edit, 1, kEditTenths);
    DelayShortUsSlot(100);
    ShiftRowAddress(k248IdRow, false);
    PulsePin(k248Load, 2);
    IdBytes id;
    id.count = kIdBytesMax;
    for (int p = 0; p < k248Bits; ++p) {
        id.Add(p, static_cast<uint32_t>(GetPin(k248Out)));
        if (p != k248Bits - 1) Clock248(0);
    }
    const char* refusal = nullptr;
    if (!Identify248(id)) {
        refusal = " Invalid Chip ID!";
    } else if (mode != kEraseOpen && Secured248()) {
        refusal = " Device Secured!";
    }
    if (refusal != nullptr) {
        ShowMessageLine(refusal);
        PowerDown248();
        return -1;
    }
    if (mode == kWriting || mode == kEraseOpen) {
        SetDacVoltage(2, kWriteEditTenths);
        SetDacVoltage(4, 41);
        DelayShortUsSlot(100);
    }
    return 1;
}

int Read248Row(int row, int bits, bool clockLast, int mode) {
    ShiftRowAddress(row, false);
    PulsePin(k248Load, 2);
    int r = 1;
    for (int p = 0; p < bits && r != -1; ++p) {
        ReadValue = static_cast<uint32_t>(GetPin(k248Out));
        if (p != bits - 1 || clockLast) Clock248(0);
        const uint32_t f = Fuse248(row, p);
        if (f != kNo248Fuse) r = CheckFuseBit(static_cast<int>(f), 0, static_cast<int>(ReadValue), mode);
    }
    return r;
}

int Alg248ReadWalk(int mode) {
    for (int row = 0; row < k248Rows; ++row) {
        if (Read248Row(row, k248Bits, false, mode) == -1) return -1;
    }
    ShiftRowAddress(k248FuseRow, false);
    PulsePin(k248Load, 2);
    int r = CheckFuseBit(static_cast<int>(k248Fuse14499), 0, GetPin(k248Out), mode);
    if (r == -1) return -1;
    SetPin(k248Select14500, 1);
    r = CheckFuseBit(static_cast<int>(k248Fuse14500), 0, GetPin(k248Out), mode);
    SetPin(k248Select14500, 0);
    if (r == -1) return -1;
    SetPin(k248SelectRows, 1);
    for (int j = 0; j < k248Rows96 && r != -1; ++j) r = Read248Row(k248FirstRow96 + j, k248Row96Bits, true, mode);
    SetPin(k248SelectRows, 0);
    return r;
}

// The program walk (buffer bits, ProgramPulseWidth) or the erase's clear
// walk (zeros, 1 ms pulses with clock and program enable held).
int Write248Rows(bool image) {
    int result = 1;
    auto row = [&](int r, int bits) {
        for (int p = 0; p < bits; ++p) {
            const uint32_t f = Fuse248(r, p);
            uint32_t bit = 0;
            if (image) {
                result = StepProgressByAddress(f == kNo248Fuse ? 0 : f);
                if (f != kNo248Fuse) bit = GetBufferBit(f);
            }
            Clock248(bit);
        }
        ShiftRowAddress(r, !image);
        PulseRow248(image ? ProgramPulseWidth : 1, !image);
        if (!image) SetPin(k248Clock, 0);
    };
    for (int r = 0; r < k248Rows; ++r) row(r, k248Bits);
    if (image) {
        ShiftRowAddress(k248FuseRow, false);
        if (GetBufferBit(k248Fuse14499) == 0) PulseRow248(ProgramPulseWidth, false);
        SetPin(k248Select14500, 1);
        if (GetBufferBit(k248Fuse14500) == 0) PulseRow248(ProgramPulseWidth, false);
        SetPin(k248Select14500, 0);
    }
    SetPin(k248SelectRows, 1);
    for (int j = 0; j < k248Rows96; ++j) row(k248FirstRow96 + j, k248Row96Bits);
    SetPin(k248SelectRows, 0);
    return result;
}

void Erase248Step() {
    WritePinGroup(0, 0, 3, k248EraseModes);
    PulseRow248(ErasePulseWidth, false);
    WritePinGroup(0, 0, 3, 0);
}

} // namespace

int Alg228Read(int mode) { return ParallelRead(kAlg228, mode); }
int Alg228Program() { return ParallelProgram(kAlg228); }
int Alg228Erase() { return ParallelErase(kAlg228); }
int Alg228Secure() { return ParallelSecure(kAlg228); }
int Alg243Read(int mode) { return ParallelRead(kAlg243, mode); }
int Alg243Program() { return ParallelProgram(kAlg243); }
int Alg243Erase() { return ParallelErase(kAlg243); }
int Alg243Secure() { return ParallelSecure(kAlg243); }
int Alg229Read(int mode) { return ParallelRead(kAlg229, mode); }
int Alg229Program() { return ParallelProgram(kAlg229); }
int Alg229Erase() { return ParallelErase(kAlg229); }
int Alg229Secure() { return ParallelSecure(kAlg229); }
int Alg230Read(int mode) { return SerialRead(kAlg230, mode); }
int Alg230Program() { return SerialProgram(kAlg230); }
int Alg230Erase() { return SerialErase(kAlg230); }
int Alg230Secure() { return SerialSecure(kAlg230); }
int Alg247Read(int mode) { return SerialRead(kAlg247, mode); }
int Alg247Program() { return SerialProgram(kAlg247); }
int Alg247Erase() { return SerialErase(kAlg247); }
int Alg247Secure() { return SerialSecure(kAlg247); }

int Alg242Read(int mode) {
    if (Open242(kReading) != 1) return -1;
    const int r = Alg242ReadWalk(mode);
    PowerDown242();
    return r;
}

int Alg242Program() {
    if (Open242(kWriting) != 1) return -1;
    for (int k = 0; k <= k242Rows; ++k) WriteRow242(Row242(k), ProgramPulseWidth);
    PowerDown242();
    return 1;
}

int Alg242Erase() {
    if (Open242(kWriting) != 1) return -1;
    EraseWithClearWalks(Erase242Step, Clear242Walk);
    PowerDown242();
    return 1;
}

// Row 0 with every bit 1 but the security bit 176.
int Alg242Secure() {
    if (Open242(kWriting) != 1) return -1;
    Address242(0);
    for (int b = 0; b < k242Bits - 1; ++b) Clock242(1);
    SetPin(k242Data, 0);
    PulseRow242(ProgramPulseWidth);
    PowerDown242();
    return 1;
}

// Fuse 14394 lies between the output configuration rows' three-cell fuses
// (14364-14393) and four-cell fuses (14395-14434): no row has a cell for it.
// A file that sets it is refused before the part is touched, by Program and
// by Verify, instead of being dropped unseen.
constexpr uint32_t k248CelllessFuse = 14394;
bool Refuse248CelllessFuse() {
    if (DeviceSize <= k248CelllessFuse || GetBufferBit(k248CelllessFuse) == 0) return false;
    FailAddress = k248CelllessFuse;
    ShowMessageLine(" Fuse %u has no cell in this device.", k248CelllessFuse);
    return true;
}

int Alg248Read(int mode) {
    if (mode == 3 && Refuse248CelllessFuse()) return -1;
    if (Open248(kReading) != 1) return -1;
    const int r = Alg248ReadWalk(mode);
    PowerDown248();
    return r;
}

int Alg248Program() {
    if (Refuse248CelllessFuse()) return -1;
    if (Open248(kWriting) != 1) return -1;
    const int r = Write248Rows(true);
    PowerDown248();
    return r;
}

int Alg248Erase() {
    if (Open248(kEraseOpen) != 1) return -1;
    EraseWithClearWalks(Erase248Step, [] { Write248Rows(false); });
    PowerDown248();
    return 1;
}

// Fails unless the part reads secured afterwards.
int Alg248Secure() {
    ReadBackAfterSecure = 0;
    if (Open248(kWriting) != 1) return -1;
    ShiftRowAddress(k248SecureRow, false);
    PulseRow248(ProgramPulseWidth, false);
    ApplyVoltageToPin(2, k248Edit, 0, kIdleEditTenths);
    DelayShortUsSlot(100);
    ApplyVoltageToPin(2, k248Edit, 1, kEditTenths);
    DelayShortUsSlot(100);
    const bool secured = Secured248();
    PowerDown248();
    return secured ? 1 : -1;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 228,
     .Read = Alg228Read,
     .Program = Alg228Program,
     .Erase = Alg228Erase,
     .Secure = Alg228Secure,
     .Options = Alg207Options},
    {.Row = 243,
     .Read = Alg243Read,
     .Program = Alg243Program,
     .Erase = Alg243Erase,
     .Secure = Alg243Secure,
     .Options = Alg243Options},
    {.Row = 229,
     .Read = Alg229Read,
     .Program = Alg229Program,
     .Erase = Alg229Erase,
     .Secure = Alg229Secure,
     .Options = Alg208Options},
    {.Row = 230, .Read = Alg230Read, .Program = Alg230Program, .Erase = Alg230Erase, .Secure = Alg230Secure},
    {.Row = 247, .Read = Alg247Read, .Program = Alg247Program, .Erase = Alg247Erase, .Secure = Alg247Secure},
    {.Row = 242, .Read = Alg242Read, .Program = Alg242Program, .Erase = Alg242Erase, .Secure = Alg242Secure},
    {.Row = 248, .Read = Alg248Read, .Program = Alg248Program, .Erase = Alg248Erase, .Secure = Alg248Secure},
};

void InstallGalIdStringRows() {
    InstallRows(kAlgorithmRows);
}
