#include "mcu/PinDriverEprom.h"

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
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
constexpr Layout8051 kLayout101 = {
    {5, 6, 7, 8, 9, 10, 11, 12, 25, 26, 27, 28, 29, 30, 18}, 15, {43, 42, 41, 40, 39, 38, 37, 36}, 13, 31, 32, 17,
    20, 21, 33, 34, 35, 23, {}};

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

const Row8051 kRow101{PowerUp101, PowerDown101, ReadCodeByte101, kReadCode, kWriteCode, ProgramByteWithRetry101,
                      nullptr, false};

int Alg101Read(int mode) { return ReadRange(kRow101, mode); }
int Alg101Program() { return ProgramRange(kRow101); }

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

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 101, .Read = Alg101Read, .Program = Alg101Program, .Secure = Alg101Secure},
};

} // namespace

void InstallPinDriverEpromRows() { InstallRows(kAlgorithmRows); }
