// One-time-programmable microcontrollers driven pin by pin in their EPROM
// mode, without option dialogs: the 8051-family parts of row 101 (mode lines
// on port pins, the programming voltage on EA/VPP) and the parts of rows 190
// and 191 (13 address lines and 8 data lines on fixed pins; row 191 with a
// security bit).

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/Operation.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "mcu/Mcu8051Walks.h"

using namespace mcu8051;

namespace {

// ---- row 101 ------------------------------------------------------------------------

// The 40-pin DIP at socket pins 5-44, whatever the adapter: A0-A14 on P1,
// P2.0-P2.5 and P3.4; P2.7 the read strobe.
constexpr Layout8051 kLayout101 = {{5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18},
                                   15,
                                   {43, 42, 41, 40, 39, 38, 37, 36},
                                   13,
                                   31,
                                   32,
                                   17,
                                   20,
                                   21,
                                   33,
                                   34,
                                   35,
                                   23,
                                   {}};

// Mode 1 programs or locks, 2 reads.
bool PowerUp101(int mode) {
    UseLayout(kLayout101);
    ReadBackAfterSecure = 1;
    SecureCheckValue = 0xFF;
    ProgressStep = 16;
    SupplyVoltage = PhaseSupply(mode);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(ActiveLayout->strobe, 1);
    SetPin(ActiveLayout->rst, 1);
    SetPin(ActiveLayout->ale, 1);
    SetPin(ActiveLayout->xtal1, 0);
    WriteRegister(12, 1);
    SetGroundPin(ActiveLayout->psen, 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    ApplyVoltageToPin(1, ActiveLayout->ea, 1, 50);
    DelayMsSlot(10);
    WritePinGroup(0, 0, ActiveLayout->addressCount - 1, 0);
    return true;
}

void PowerDown101() {
    SetPin(ActiveLayout->strobe, 1);
    SetSupplyPinA(ActiveLayout->ea, 0);
    DelayShortUsSlot(50);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    SetGroundPin(ActiveLayout->psen, 0);
    WriteRegister(12, 0);
}

void ReadCodeByte101() {
    SetPin(ActiveLayout->strobe, 0);
    DelayUsSlot(10);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(ActiveLayout->strobe, 1);
    DelayUsSlot(10);
}

// EA/VPP rises through Vpp - 1.0 V to Vpp, one pulse on ALE/PROG, back to
// 5.0 V; the data lines are released for the verify read.
void PulseProgram101() {
    const int vpp = static_cast<int>(Vpp / 10);
    SetDacVoltage(1, vpp - 10);
    SetDacVoltage(1, vpp);
    DelayUsSlot(10);
    PulsePinTimed(ActiveLayout->ale, 2, PulseWidth);
    SetDacVoltage(1, 50);
    DelayUsSlot(10);
    FloatPinGroup(1, 0, 7);
}

// Up to Retry pulses, each followed by a read-back; FFh gets none. The data
// lines are driven again before every pulse, since the pulse before released
// them.
int ProgramByteWithRetry101() {
    if ((ExpectedValue & 0xFF) == 0xFF) return 1;
    for (uint32_t n = 0; n < Retry; ++n) {
        DriveData(ExpectedValue);
        PulseProgram101();
        ReadCodeByte101();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

const Row8051 kRow101{PowerUp101, PowerDown101, ReadCodeByte101,
                      kReadCode,  kWriteCode,   ProgramByteWithRetry101,
                      nullptr,    false};

int Alg101Read(int mode) {
    return ReadRange(kRow101, mode);
}
int Alg101Program() {
    return ProgramRange(kRow101);
}

// One pulse under the lock lines (lock bit 2: verify disabled); the engine
// then reads every cell back expecting FFh.
int Alg101Secure() {
    PowerUp101(1);
    SetModeLines(kLock2);
    SetPin(ActiveLayout->strobe, 1);
    DriveData(0xFF);
    PulseProgram101();
    PowerDown101();
    return 1;
}

// ---- rows 190 and 191 ----------------------------------------------------------------

// A0-A12 and D0-D7 on fixed socket pins; the control pins by row.
constexpr Layout8051 kLayout19x = {{25, 24, 23, 14, 13, 12, 11, 10, 31, 30, 27, 28, 20},
                                   13,
                                   {32, 33, 34, 35, 36, 37, 38, 39},
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   0,
                                   {}};

struct Row19x {
    int readStrobe;    // low to read
    int programStrobe; // pulsed low
    bool vppPerPulse;  // 190: Vpp on pin 40 for each pulse; 191: for the whole Program
    bool security;     // 191: the security bit refuses every entry once set
};
constexpr int kVppPin19x = 40, kEnable19x = 26, kTestPin191 = 16, kSecurityPin191 = 39;
constexpr Row19x kRow190{40, 26, true, false};
constexpr Row19x kRow191{15, 19, false, true};
const Row19x* g_row19x = &kRow190;

void PowerDown19x() {
    SetPin(kEnable19x, 1);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
}

// Security test: Vpp on pin 16 with the enable and both strobes low; pin 39
// reads 1 while the part is not secured.
int TestSecurity191() {
    WritePinGroup(0, 0, 12, 0);
    for (int p : {kEnable19x, 15, 19})
        SetPin(p, 0);
    ApplyVoltageToPin(2, kTestPin191, 1, static_cast<int>(Vpp / 10));
    const int result = GetPin(kSecurityPin191);
    ApplyVoltageToPin(2, kTestPin191, 0, 50);
    for (int p : {kEnable19x, 15, 19})
        SetPin(p, 1);
    return result;
}

// Mode 1 programs, 2 reads. Row 191 refuses a secured part, powered down.
bool PowerUp19x(int mode) {
    UseLayout(kLayout19x);
    SupplyVoltage = PhaseSupply(mode);
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(0, 0, 0, 0);
    FloatPinGroup(1, 0, 7);
    FloatPinRange(4, 9);
    for (int p : {22, 29, 41, 42})
        FloatPinRange(p, p);
    if (g_row19x->security) {
        FloatPinRange(43, 43);
    } else {
        SetPin(43, 1);
    }
    for (int p : {kVppPin19x, 19, kEnable19x, 15})
        SetPin(p, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(20);
    if (g_row19x->security && TestSecurity191() == 0) {
        PowerDown19x();
        ShowMessageLine(" Device Secured!");
        ReadRefusedByDevice(); // nothing was compared: the walk ends at this line
        return false;
    }
    return true;
}

bool ReadUp19x(int mode) {
    if (!PowerUp19x(mode)) return false;
    SetPin(kEnable19x, 0);
    return true;
}

void Read19x() {
    SetPin(g_row19x->readStrobe, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(g_row19x->readStrobe, 1);
}

void ProgramPulse19x(uint32_t widthUs) {
    DriveData(ExpectedValue);
    if (g_row19x->vppPerPulse) ApplyVoltageToPin(2, kVppPin19x, 1, static_cast<int>(Vpp / 10));
    SetPin(g_row19x->programStrobe, 0);
    DelayUsSlot(widthUs);
    SetPin(g_row19x->programStrobe, 1);
    if (g_row19x->vppPerPulse) ApplyVoltageToPin(2, kVppPin19x, 0, 50);
}

// Pulses with a read-back after each, at most Retry - 1; the pulse that
// matched is followed by one more of the same width. FFh gets none.
int ProgramWithOverPulse19x() {
    if ((ExpectedValue & 0xFF) == 0xFF) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        ProgramPulse19x(PulseWidth);
        FloatPinGroup(1, 0, 7);
        // Row 190's verify reads with its program strobe (the enable) low.
        if (g_row19x->vppPerPulse) SetPin(kEnable19x, 0);
        Read19x();
        if (g_row19x->vppPerPulse) SetPin(kEnable19x, 1);
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) {
            ProgramPulse19x(PulseWidth);
            FloatPinGroup(1, 0, 7);
            return 1;
        }
    }
    return -1;
}

// Row 191 keeps Vpp on pin 40 and the enable low for the whole Program.
bool ProgramUp19x(int mode) {
    if (!PowerUp19x(mode)) return false;
    if (!g_row19x->vppPerPulse) {
        ApplyVoltageToPin(2, kVppPin19x, 1, static_cast<int>(Vpp / 10));
        SetPin(kEnable19x, 0);
    }
    return true;
}

void ProgramDown19x() {
    if (!g_row19x->vppPerPulse) ApplyVoltageToPin(2, kVppPin19x, 0, 50);
    PowerDown19x();
}

const Row8051 kRead19x{ReadUp19x, PowerDown19x, Read19x, kNoLines, kNoLines, ProgramWithOverPulse19x,
                       nullptr,   false};
const Row8051 kProgram19x{ProgramUp19x, ProgramDown19x,          Read19x, kNoLines,
                          kNoLines,     ProgramWithOverPulse19x, nullptr, false};

int Alg190Read(int mode) {
    g_row19x = &kRow190;
    return ReadRange(kRead19x, mode);
}
int Alg190Program() {
    g_row19x = &kRow190;
    return ProgramRange(kProgram19x);
}
int Alg191Read(int mode) {
    g_row19x = &kRow191;
    return ReadRange(kRead19x, mode);
}
int Alg191Program() {
    g_row19x = &kRow191;
    return ProgramRange(kProgram19x);
}

// The security write at 1DFFh with FCh: pin 39 low for 1 ms with Vpp on pins
// 40 and 16; then the security test must show the bit set.
int Alg191Secure() {
    g_row19x = &kRow191;
    if (!PowerUp19x(1)) return -1;
    WritePinGroup(0, 0, 12, 0x1DFF);
    ExpectedValue = 0xFC;
    DriveData(0xFC);
    ApplyVoltageToPin(2, kVppPin19x, 1, static_cast<int>(Vpp / 10));
    SetSupplyPinA(kTestPin191, 1);
    SetPin(kSecurityPin191, 0);
    DelayMsSlot(1);
    SetPin(kSecurityPin191, 1);
    SetSupplyPinA(kTestPin191, 0);
    ApplyVoltageToPin(2, kVppPin19x, 0, 50);
    DelayMsSlot(1);
    FloatPinGroup(1, 0, 7);
    const int test = TestSecurity191();
    PowerDown19x();
    return test == 0 ? 1 : -1;
}

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 101, .Read = Alg101Read, .Program = Alg101Program, .Secure = Alg101Secure},
    {.Row = 190, .Read = Alg190Read, .Program = Alg190Program},
    {.Row = 191, .Read = Alg191Read, .Program = Alg191Program, .Secure = Alg191Secure},
};

} // namespace

ROW_FAMILY("PinDriverEprom", Mcu, 140, kAlgorithmRows);
