// The 1500 type (row 242): a larger PLD with a 12-byte identification text,
// an 8-bit row address on pins and 177-bit rows.

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
    return RefuseIdentity(false, " Invalid Chip ID.");
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

} // namespace

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

// The row of this type.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 242,
     .Read = Alg242Read,
     .Program = Alg242Program,
     .Erase = Alg242Erase,
     .Secure = Alg242Secure,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("GalId1500", Logic, 50, kAlgorithmRows);
