// GAL-type PLDs with an identification text in row 58 and a parallel row
// address: 16V8 types (rows 228, 243) and a 20V8 type (row 229), working on
// the device image at fuse 10000 with PAL emulation. The text chooses the
// pulse widths on row 243.

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

uint32_t ProgramPulseWidth = 0;
uint32_t ErasePulseWidth = 0;
uint32_t ClearPulseWidth = 0;

namespace {

constexpr int kEraseAddress = 63;
constexpr int kEraseTenths = 125;

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
    return RefuseIdentity(false, "%s", t.Refusal);
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

// The rows of this family.
constexpr RowDef kAlgorithmRows[] = {
    {.Row = 228,
     .Read = Alg228Read,
     .Program = Alg228Program,
     .Erase = Alg228Erase,
     .Secure = Alg228Secure,
     .Options = Alg207Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 243,
     .Read = Alg243Read,
     .Program = Alg243Program,
     .Erase = Alg243Erase,
     .Secure = Alg243Secure,
     .Options = Alg243Options,
     .ChecksIdentity = ChecksIdentityAlways},
    {.Row = 229,
     .Read = Alg229Read,
     .Program = Alg229Program,
     .Erase = Alg229Erase,
     .Secure = Alg229Secure,
     .Options = Alg208Options,
     .ChecksIdentity = ChecksIdentityAlways},
};

ROW_FAMILY("GalIdParallel", Logic, 30, kAlgorithmRows);
