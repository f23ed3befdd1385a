// GAL-type PLDs with an identification text in row 58: 22V10 types (rows
// 230, 247) whose row address is shifted in with the data. The text
// chooses the pulse widths.

#include <cstring>

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
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
#include "logic/GalIdShared.h"

namespace {

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
    return RefuseIdentity(false, " Invalid Chip ID.");
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

} // namespace

int Alg230Read(int mode) { return SerialRead(kAlg230, mode); }
int Alg230Program() { return SerialProgram(kAlg230); }
int Alg230Erase() { return SerialErase(kAlg230); }
int Alg230Secure() { return SerialSecure(kAlg230); }
int Alg247Read(int mode) { return SerialRead(kAlg247, mode); }
int Alg247Program() { return SerialProgram(kAlg247); }
int Alg247Erase() { return SerialErase(kAlg247); }
int Alg247Secure() { return SerialSecure(kAlg247); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 230,
     .Read = Alg230Read,
     .Program = Alg230Program,
     .Erase = Alg230Erase,
     .Secure = Alg230Secure,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 247,
     .Read = Alg247Read,
     .Program = Alg247Program,
     .Erase = Alg247Erase,
     .Secure = Alg247Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("GalIdSerial", Logic, 40, kAlgorithmRows);
