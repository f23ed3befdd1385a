// Microcontrollers whose programming mode catches the address from the data
// pins in address latches: row 172 (address bytes and datum on eight pins,
// over-program pulse, securing mode, two package columns) and row 124 (the
// address bits on pins shared with the data, the programming voltage pulsed
// on a pin of its own).

#include <cstdint>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/RowDef.h"
#include "engine/Services.h"
#include "engine/Tables.h"

namespace {

// ---- row 172: address and datum on the same eight pins ----------------------------

// Socket pins of one package column.
struct BusColumn {
    int data[8]; // D0 first
    int lowLatch, highLatch, program, read, aux, mode;
};
constexpr BusColumn kColumn28 = {{18, 19, 20, 21, 28, 29, 30, 31}, 13, 14, 36, 35, 34, 22};
constexpr BusColumn kColumnOther = {{20, 21, 22, 23, 26, 27, 28, 29}, 15, 16, 34, 33, 32, 24};

// The byte a secured part answers in securing mode (mode pin low); an
// unsecured part answers 00h there.
constexpr uint32_t kSecuredAnswer = 0xFF;
// Latched into the high address before the securing pulse.
constexpr uint32_t kSecureCode = 0x60;

const BusColumn* g_column = &kColumnOther;

const BusColumn& ColumnForPackage() {
    const uint32_t pins = PackageIndex < PackageRowCount ? PackageTable[PackageIndex].PinCount : 0;
    return pins == 28 ? kColumn28 : kColumnOther;
}

// Purpose 1 programs, 6 secures, anything else reads.
void BusPowerUp(int purpose) {
    BlankValue = 0;
    ReadBackAfterSecure = 1;
    // The engine's read-back after Secure compares every byte with this.
    SecureCheckValue = kSecuredAnswer;
    g_column = &ColumnForPackage();
    const BusColumn& c = *g_column;
    DefinePinGroup("D", 0, c.data[0], c.data[1], c.data[2], c.data[3], c.data[4], c.data[5], c.data[6],
                   c.data[7], 0);
    const bool writing = purpose == 1 || purpose == 6;
    if (writing) {
        SupplyVoltage = Vccp / 10;
        if (PulseWidth >= 10000) ProgressStep = 16;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(50, 50, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(c.lowLatch, 1);
    SetPin(c.highLatch, 1);
    SetPin(c.program, 1);
    SetPin(c.read, 1);
    SetPin(c.mode, purpose == 6 ? 0 : 1);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    if (writing) {
        SetDeviceVpp(1, static_cast<int>(Vpp / 10));
        DelayUsSlot(10);
        SetPin(c.aux, 1);
        DelayUsSlot(10);
        SetPin(c.aux, 0);
    } else {
        SetDeviceVpp(1, 50);
        DelayUsSlot(10);
        SetSupplyPinA(c.aux, 1);
        SetPin(c.aux, 2);
    }
    DelayUsSlot(10);
}

void BusPowerDown() {
    SetSupplyPinA(g_column->aux, 0);
    DelayUsSlot(100);
    SetDeviceVpp(0, 50);
    DelayUsSlot(100);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayUsSlot(100);
    SetDeviceGround(0);
}

void LatchLow(uint32_t a) {
    WritePinGroup(0, 0, 7, a & 0xFF);
    PulsePin(g_column->lowLatch, 2);
}

void LatchHigh(uint32_t a) {
    WritePinGroup(0, 0, 7, (a >> 8) & 0xFF);
    PulsePin(g_column->highLatch, 2);
}

void BusProgramPulse(uint32_t us) {
    WritePinGroup(0, 0, 7, ExpectedValue & 0xFF);
    SetPin(g_column->program, 0);
    DelayUsSlot(us);
    SetPin(g_column->program, 1);
}

void BusRead() {
    FloatPinGroup(0, 0, 7);
    SetPin(g_column->read, 0);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(0, 0, 7));
    SetPin(g_column->read, 1);
}

// A blank byte (00h) gets no pulse; otherwise up to Retry - 1 pulses, each
// read back, and after the one that takes an over-program pulse (n times
// OverPulseWidth with PulseMul, else OverPulseWidth; none when it is 0).
int BusProgramByte() {
    if ((ExpectedValue & 0xFF) == BlankValue) return 1;
    for (uint32_t n = 1; n < Retry; ++n) {
        BusProgramPulse(PulseWidth);
        BusRead();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) {
            if (OverPulseWidth != 0) BusProgramPulse(PulseMul != 0 ? n * OverPulseWidth : OverPulseWidth);
            return 1;
        }
    }
    return -1;
}

// The high address is latched at the first address of the range as well as
// at every 256-byte boundary: a range need not start on one.
int Alg172Read(int mode) {
    BusPowerUp(mode);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        if (a == DeviceStart || (ChipAddress & 0xFF) == 0) LatchHigh(ChipAddress);
        LatchLow(ChipAddress);
        BusRead();
        if ((r = ProcessReadByte(mode)) == -1) break;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBankIf(mode)) == -1) break;
    }
    BusPowerDown();
    return r;
}

int Alg172Program() {
    BusPowerUp(1);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        if (a == DeviceStart || (ChipAddress & 0xFF) == 0) LatchHigh(ChipAddress);
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        LatchLow(ChipAddress);
        if ((r = BusProgramByte()) == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    BusPowerDown();
    return r;
}

// The engine's read-back in mode 6 tells whether the part took it.
int Alg172Secure() {
    BusPowerUp(6);
    WritePinGroup(0, 0, 7, kSecureCode);
    PulsePin(g_column->highLatch, 2);
    FloatPinGroup(0, 0, 7);
    SetPin(g_column->program, 0);
    DelayUsSlot(5 * PulseWidth);
    SetPin(g_column->program, 1);
    BusPowerDown();
    return 1;
}

// ---- row 124: address bits on the data pins, Vpp pulsed on pin 19 -----------------

constexpr int kSplitData[8] = {38, 11, 12, 13, 14, 15, 16, 17};
constexpr int kSplitHigh[5] = {38, 11, 12, 13, 15}; // A12 on pin 15, not 14
constexpr int kSplitLowStrobe = 24, kSplitHighStrobe = 23, kSplitReadStrobe = 28, kSplitOutputEnable = 25,
              kSplitDataStrobe = 27, kSplitVppPin = 19;
constexpr int kSplitAttempts = 1000;

// Purpose 1 programs, 2 reads.
void SplitPowerUp(int purpose) {
    const int* d = kSplitData;
    const int* h = kSplitHigh;
    DefinePinGroup("A", 0, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], h[0], h[1], h[2], h[3], h[4], 0);
    DefinePinGroup("D", 1, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7], 0);
    SupplyVoltage = purpose == 1 ? Vccp / 10 : ReadVccInUse;
    SetVccRange(0, static_cast<int>(SupplyVoltage));
    SetDeviceGround(1);
    SetAllDacVoltages(50, 0, 0, 0);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(kSplitVppPin, 1);
    for (int p : {kSplitDataStrobe, kSplitLowStrobe, kSplitHighStrobe, kSplitOutputEnable, kSplitReadStrobe})
        SetPin(p, 0);
    SetPin(21, 1);
    SetPin(22, 1);
    DelayMsSlot(100);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    DelayMsSlot(100);
    ApplyVoltageToPin(1, 21, 1, 100);
    DelayMsSlot(100);
    ApplyVoltageToPin(2, 22, 1, 100);
    DelayMsSlot(100);
}

void SplitPowerDown() {
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayMsSlot(10);
    ApplyVoltageToPin(1, 21, 0, 50);
    DelayMsSlot(10);
    ApplyVoltageToPin(2, 22, 0, 50);
    DelayMsSlot(10);
    ResetProgrammerOutputs();
}

void SplitLatch(uint32_t a) {
    WritePinGroup(0, 0, 7, a & 0xFF);
    PulsePin(kSplitLowStrobe, 3);
    WritePinGroup(0, 8, 12, (a >> 8) & 0x1F);
    PulsePin(kSplitHighStrobe, 3);
}

void SplitRead() {
    FloatPinGroup(1, 0, 7);
    PulsePin(kSplitReadStrobe, 3);
    SetPin(kSplitOutputEnable, 1);
    DelayUsSlot(5);
    ReadValue = static_cast<uint32_t>(ReadPinGroup(1, 0, 7));
    SetPin(kSplitOutputEnable, 0);
}

void SplitProgramPulse() {
    WritePinGroup(1, 0, 7, ExpectedValue & 0xFF);
    PulsePin(kSplitDataStrobe, 3);
    DelayUsSlot(10);
    ApplyVoltageToPin(3, kSplitVppPin, 1, static_cast<int>(Vpp / 10));
    DelayUsSlot(PulseWidth);
    ApplyVoltageToPin(3, kSplitVppPin, 0, 50);
}

// Bytes of FFh and bytes the part already holds get no pulse; otherwise up to
// 1000 pulses, each read back, whatever Retry holds.
int SplitProgramByte() {
    ReadValue = 0;
    SplitLatch(ChipAddress);
    SplitRead();
    if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF) || (ExpectedValue & 0xFF) == 0xFF) return 1;
    SplitLatch(ChipAddress);
    for (int n = 0; n < kSplitAttempts; ++n) {
        SplitProgramPulse();
        SplitRead();
        if ((ReadValue & 0xFF) == (ExpectedValue & 0xFF)) return 1;
    }
    return -1;
}

int Alg124Read(int mode) {
    SplitPowerUp(2);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        SplitLatch(ChipAddress);
        SplitRead();
        if ((r = ProcessReadByte(mode)) == -1) break;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBankIf(mode)) == -1) break;
    }
    SplitPowerDown();
    return r;
}

int Alg124Program() {
    SplitPowerUp(1);
    int r = 1;
    for (uint64_t a = DeviceStart; a <= DeviceEnd; ++a) {
        ChipAddress = static_cast<uint32_t>(a);
        if ((r = StepProgress(ChipAddress)) != 1) break;
        ExpectedValue = BufferWindow[BufferIndex & 0xFFFF];
        if ((r = SplitProgramByte()) == -1) break;
        BufferIndex += AddressStep;
        if (BufferIndex >= 0x10000 && (r = AdvanceToNextBank()) == -1) break;
    }
    SplitPowerDown();
    return r;
}

// Row 124 addresses 13 bits.
std::string SplitRecordCheck(uint32_t, const RowRecordFacts& record) {
    if (record.DeviceSize > 0x2000) return "size past the 13 address bits of algorithm 124";
    return {};
}

constexpr RowDef kAlgorithmRows[] = {
    {.Row = 172,
     .Read = Alg172Read,
     .Program = Alg172Program,
     .Secure = Alg172Secure,
     .VariantCount = 5,
     .VariantTable = "start address"},
    {.Row = 124, .Read = Alg124Read, .Program = Alg124Program, .RecordCheck = SplitRecordCheck},
};

} // namespace

ROW_FAMILY("LatchedAddress", Mcu, 150, kAlgorithmRows);
