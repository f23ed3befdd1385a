// Rows 270, 271 and 274: one-time fuse PALs addressed by product-term group
// and input column on two sets of socket pins. Each access reads one fuse
// per output on the data pins; a fuse is blown by the programming voltage
// on its output's data pin while the strobe pin is at 11 V and pin 25 is
// switched to the high supply.

#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "logic/FuseCells.h"
#include "logic/PldPower.h"

namespace {

// One row's array and pins (socket pin numbers; lists from bit 0).
struct FusePalRow {
    uint32_t Row;
    int Groups, Columns, Outputs;
    int GroupPins[3];
    int ColumnPins[6];
    int ColumnPinCount;
    int FirstDataPin; // the data pin of output b is FirstDataPin - b
    int StrobePin;
};

constexpr FusePalRow kFusePalRows[] = {
    {270, 8, 32, 8, {16, 17, 18}, {19, 20, 21, 22, 23}, 5, 33, 15},
    {271, 8, 40, 8, {14, 15, 16}, {18, 19, 20, 21, 22, 23}, 6, 34, 13},
    {274, 4, 40, 10, {14, 15, 16}, {18, 19, 20, 21, 22, 23}, 6, 35, 13},
};

enum Group { kGroupPins = 0, kColumnPins = 1, kDataPins = 2 };
constexpr int kProgramming = 1, kReading = 2;
constexpr int kHighSupplyPin = 25;
constexpr int kHighTenths = 110;
constexpr int kProgramSupplyTenths = 52;
constexpr int kReleaseTenths = 50;
constexpr uint32_t kPulseUs = 40;

const FusePalRow* Row = nullptr;
int ProgramTenths = 150;

const FusePalRow& RowOf(uint32_t row) {
    for (const FusePalRow& r : kFusePalRows)
        if (r.Row == row) return r;
    return kFusePalRows[0];
}

int DataPin(int b) { return Row->FirstDataPin - b; }
// Odd data pins take the programming voltage from channel 3 (supply B), even ones from channel 2 (supply A).
int DataChannel(int pin) { return pin % 2 != 0 ? 3 : 2; }
uint32_t FuseOf(int b, int g, int c) {
    return static_cast<uint32_t>(b * Row->Groups * Row->Columns + g * Row->Columns + c);
}

void DefineGroups() {
    const FusePalRow& r = *Row;
    DefinePinGroup("", kGroupPins, r.GroupPins[0], r.GroupPins[1], r.GroupPins[2], 0);
    if (r.ColumnPinCount == 5) {
        DefinePinGroup("", kColumnPins, r.ColumnPins[0], r.ColumnPins[1], r.ColumnPins[2], r.ColumnPins[3],
                       r.ColumnPins[4], 0);
    } else {
        DefinePinGroup("", kColumnPins, r.ColumnPins[0], r.ColumnPins[1], r.ColumnPins[2], r.ColumnPins[3],
                       r.ColumnPins[4], r.ColumnPins[5], 0);
    }
    const int d = r.FirstDataPin;
    if (r.Outputs == 8) {
        DefinePinGroup("", kDataPins, d, d - 1, d - 2, d - 3, d - 4, d - 5, d - 6, d - 7, 0);
    } else {
        DefinePinGroup("", kDataPins, d, d - 1, d - 2, d - 3, d - 4, d - 5, d - 6, d - 7, d - 8, d - 9, 0);
    }
}

void PowerUp(int mode) {
    Row = &RowOf(CurrentAlgorithm);
    DefineGroups();
    BlankValue = 0;
    SecureCheckValue = 1;
    SupplyVoltage = mode == kProgramming ? kProgramSupplyTenths : ReadVccInUse;
    ProgramTenths = Row->Row == 270 && DeviceVariant != 0 ? 200 : 150;
    PldSupplyRangeAndGround(static_cast<int>(SupplyVoltage));
    FloatPinRange(1, 48);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
}

void PowerDown() { SetDevicePower(0, static_cast<int>(SupplyVoltage)); }

void Address(int g, int c) {
    WritePinGroup(kGroupPins, 0, 2, static_cast<uint64_t>(g));
    WritePinGroup(kColumnPins, 0, Row->ColumnPinCount - 1, static_cast<uint64_t>(c));
}

// The data pins with pin 25 at the high supply and the strobe high, inverted:
// bit b is 1 where output b's fuse is blown.
uint32_t StrobeData() {
    SetPin(Row->StrobePin, 1);
    const uint32_t data = ReadPinGroup(kDataPins, 0, Row->Outputs - 1);
    SetPin(Row->StrobePin, 0);
    return ~data;
}

uint32_t ReadAccess() {
    ApplyVoltageToPin(1, kHighSupplyPin, 1, kHighTenths);
    DelayShortUsSlot(10);
    const uint32_t data = StrobeData();
    ApplyVoltageToPin(1, kHighSupplyPin, 0, 0);
    return data;
}

// One pulse on output b at the address set; 1 when the fuse then reads blown.
int ProgramFuse(int b) {
    const int pin = DataPin(b);
    const int channel = DataChannel(pin);
    ApplyVoltageToPin(1, Row->StrobePin, 1, kHighTenths);
    DelayShortUsSlot(10);
    ApplyVoltageToPin(channel, pin, 1, ProgramTenths);
    DelayShortUsSlot(10);
    SetSupplyPinA(kHighSupplyPin, 1);
    DelayShortUsSlot(kPulseUs);
    ApplyVoltageToPin(channel, pin, 0, kReleaseTenths);
    DelayShortUsSlot(10);
    SetSupplyPinA(Row->StrobePin, 0);
    DelayShortUsSlot(10);
    const uint32_t data = StrobeData();
    ApplyVoltageToPin(1, kHighSupplyPin, 0, kReleaseTenths);
    return (data >> b) & 1 ? 1 : -1;
}

int FusePalRead(int mode) {
    PowerUp(kReading);
    int r = 1;
    for (int g = 0; g < Row->Groups && r != -1; ++g) {
        for (int c = 0; c < Row->Columns && r != -1; ++c) {
            Address(g, c);
            const auto data = static_cast<int>(ReadAccess());
            for (int b = 0; b < Row->Outputs && r != -1; ++b) r = CheckFuseBit(static_cast<int>(FuseOf(b, g, c)), b, data, mode);
        }
    }
    PowerDown();
    return r;
}

int FusePalProgram() {
    int r = 1;
    PowerUp(kProgramming);
    for (int g = 0; g < Row->Groups && r != -1; ++g) {
        for (int c = 0; c < Row->Columns && r != -1; ++c) {
            Address(g, c);
            for (int b = 0; b < Row->Outputs && r != -1; ++b) {
                const uint32_t n = FuseOf(b, g, c);
                FailAddress = n;
                ExpectedValue = GetBufferBit(n);
                if (ExpectedValue != 1) continue;
                if (((ReadAccess() >> b) & 1) == 0) r = ProgramFuse(b);
            }
        }
    }
    PowerDown();
    return r;
}

// Rows 270 and 271: the programming voltage on the second group pin while the
// second column pin (270) or the pin before the columns (271) takes 11 V.
void SecureByPins(int levelPin, int pulsePin) {
    ApplyVoltageToPin(2, levelPin, 1, ProgramTenths);
    DelayShortUsSlot(10);
    ApplyVoltageToPin(1, pulsePin, 1, kHighTenths);
    DelayShortUsSlot(kPulseUs);
    ApplyVoltageToPin(1, pulsePin, 0, 0);
    DelayShortUsSlot(10);
    ApplyVoltageToPin(2, levelPin, 0, 0);
}

// Row 274: a 5 ms array pulse on output 0 at group 7, column 45.
void SecureByArrayPulse() {
    constexpr int kSecureTenths = 117;
    Address(7, 45);
    ApplyVoltageToPin(1, 13, 1, kSecureTenths);
    DelayShortUsSlot(10);
    ApplyVoltageToPin(3, 35, 1, 150);
    DelayShortUsSlot(10);
    SetSupplyPinA(kHighSupplyPin, 1);
    DelayMsSlot(5);
    ApplyVoltageToPin(3, 35, 0, 0);
    DelayShortUsSlot(10);
    SetSupplyPinA(13, 0);
    DelayShortUsSlot(10);
    ApplyVoltageToPin(1, kHighSupplyPin, 0, kSecureTenths);
    Address(0, 0);
}

int FusePalSecure() {
    PowerUp(kProgramming);
    if (Row->Row == 270) {
        SecureByPins(16, 19);
    } else if (Row->Row == 271) {
        SecureByPins(14, 17);
    } else {
        SecureByArrayPulse();
    }
    PowerDown();
    return 1;
}

int Alg270Read(int mode) { return FusePalRead(mode); }
int Alg270Program() { return FusePalProgram(); }
int Alg270Secure() { return FusePalSecure(); }
int Alg271Read(int mode) { return FusePalRead(mode); }
int Alg271Program() { return FusePalProgram(); }
int Alg271Secure() { return FusePalSecure(); }
int Alg274Read(int mode) { return FusePalRead(mode); }
int Alg274Program() { return FusePalProgram(); }
int Alg274Secure() { return FusePalSecure(); }

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 270, .Read = Alg270Read, .Program = Alg270Program, .Secure = Alg270Secure},
    {.Row = 271, .Read = Alg271Read, .Program = Alg271Program, .Secure = Alg271Secure},
    {.Row = 274, .Read = Alg274Read, .Program = Alg274Program, .Secure = Alg274Secure},
};

} // namespace

ROW_FAMILY("OtpFusePal", Logic, 240, kAlgorithmRows);
