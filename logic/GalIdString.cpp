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
#include "logic/FuseCells.h"
#include "logic/GalRowSerial.h"
#include "logic/InstallLogicRows.h"
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
constexpr int kIdBytesMax = 9;

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
    if (mode == kWriting) {
        Vccp = 500;
        SupplyVoltage = 50;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
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
    for (int k = 0; k < 3; ++k) {
        if (k != 0) ClearWalk(t);
        t.EraseStep(t);
    }
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
    if (mode == kWriting) {
        Vccp = 500;
        SupplyVoltage = 50;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
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
    for (int k = 0; k < 3; ++k) {
        if (k != 0) SerialWriteWalk(t, false);
        SerialEraseStep();
    }
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

void InstallGalIdStringRows() {
    static const LogicRowEntries rows[] = {
        {228, Alg228Read, Alg228Program, Alg228Erase, Alg228Secure, Alg207Options},
        {243, Alg243Read, Alg243Program, Alg243Erase, Alg243Secure, Alg243Options},
        {229, Alg229Read, Alg229Program, Alg229Erase, Alg229Secure, Alg208Options},
        {230, Alg230Read, Alg230Program, Alg230Erase, Alg230Secure, nullptr},
        {247, Alg247Read, Alg247Program, Alg247Erase, Alg247Secure, nullptr},
    };
    InstallLogicRows(rows);
}
