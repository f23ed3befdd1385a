#include "logic/GalRowSerial.h"

#include <array>

#include "engine/AlgorithmTable.h"
#include "engine/Buffer.h"
#include "engine/Device.h"
#include "engine/OperationState.h"
#include "engine/Pins.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Routing.h"
#include "engine/Services.h"
#include "logic/FuseCells.h"
#include "logic/PalEmulation.h"

namespace {

struct FuseRun {
    uint16_t first, last;
};

template <size_t N> constexpr std::array<uint16_t, 82> OrderFromRuns(const FuseRun (&runs)[N]) {
    std::array<uint16_t, 82> order{};
    size_t k = 0;
    for (const FuseRun& r : runs) {
        for (uint32_t f = r.first; f <= r.last && k < order.size(); ++f) order[k++] = static_cast<uint16_t>(f);
    }
    return order;
}

constexpr FuseRun kOrder0[] = {{2128, 2159}, {2048, 2051}, {2193, 2193}, {2120, 2127},
                               {2192, 2192}, {2052, 2055}, {2160, 2191}};
constexpr FuseRun kOrder1[] = {{2048, 2051}, {2193, 2193}, {2120, 2123}, {2128, 2191},
                               {2124, 2127}, {2192, 2192}, {2052, 2055}};
constexpr auto kArch0 = OrderFromRuns(kOrder0);
constexpr auto kArch1 = OrderFromRuns(kOrder1);

constexpr int kSignatureAddress = 58;
constexpr int kSecureAddress = 61;
constexpr int kEraseAddress = 63;
constexpr int kSignatureBits = 64;
constexpr uint32_t kEraseMs = 130;
constexpr int kEditVoltageTenths = 120;
constexpr int kEditSupplyTenths = 50;

enum PowerMode { kWriting = 1, kReading = 2 };

bool ValidSignature() {
    const int code = GalSignatureRecord[1];
    const int maker = GalSignatureRecord[3];
    return code >= 0 && code <= 5 && (maker == 0xA1 || maker == 0x8F || maker == 0x20);
}

void GalShiftBit(const GalRowSerialType& t, uint32_t bit) {
    SetPin(t.DataInPin, bit & 1);
    PulsePin(t.ClockPin, 3);
    SetPin(t.DataInPin, 0);
}

void GalProgramPulse(const GalRowSerialType& t, uint32_t ms) {
    SetPin(t.ProgramPin, 1);
    SetPin(t.StrobePin, 0);
    DelayMsSlot(ms);
    SetPin(t.StrobePin, 1);
    SetPin(t.ProgramPin, 0);
}

void PutAddress(int address) { WritePinGroup(0, 0, 5, static_cast<uint64_t>(address)); }

// Walk step -> row address: the array rows, then the UES row, then the
// architecture row.
int RowAddress(const GalRowSerialType& t, int step) {
    if (step < t.ArrayRows) return step;
    return step == t.ArrayRows ? t.UesAddress : t.ArchAddress;
}

void GalSelectAddress(const GalRowSerialType& t, int address) {
    PutAddress(address);
    PulsePin(t.StrobePin, 2);
}

int RowBits(const GalRowSerialType& t, int step) {
    if (step < t.ArrayRows) return t.ArrayRowBits;
    return step == t.ArrayRows ? t.UesBits : t.ArchBits;
}

uint32_t RowFuse(const GalRowSerialType& t, int step, int i) {
    if (step < t.ArrayRows) return static_cast<uint32_t>(i * t.ArrayRows + step);
    if (step == t.ArrayRows) return t.UesFuse + static_cast<uint32_t>(i);
    return t.ArchOrder[GalSecondArchOrder != 0 ? 1 : 0][i];
}

void DefineGroups(const GalRowSerialType& t) {
    const int* a = t.AddressPins;
    const int* e = t.EditLowPins;
    DefinePinGroup("", 0, a[0], a[1], a[2], a[3], a[4], a[5], 0);
    DefinePinGroup("", 1, e[0], e[1], e[2], e[3], e[4], 0);
}

void GalPowerDown(const GalRowSerialType& t) {
    FloatPinGroup(1, 0, 4);
    SetPin(t.AddressPins[0], 2);
    SetPin(t.ProgramPin, 2);
    SetPin(t.ClockPin, 0);
    SetPin(t.DataInPin, 0);
    SetPin(t.StrobePin, 1);
    WritePinGroup(0, 1, 5, 0);
    SetDacVoltage(2, kEditSupplyTenths);
    SetSupplyPinA(t.EditVoltagePin, 0);
    SetPin(t.StrobePin, 0);
    SetDevicePower(0, static_cast<int>(SupplyVoltage));
    DelayShortUsSlot(100);
    SetDeviceGround(1);
}

// Powers the part into edit mode and reads its signature; -1 (powered down,
// logged) when the signature names no voltage code or maker of the family.
int GalPowerUp(const GalRowSerialType& t, int mode) {
    DefineGroups(t);
    if (mode == kWriting) {
        Vccp = 500;
        SupplyVoltage = 50;
    } else {
        SupplyVoltage = ReadVccInUse;
    }
    SetVccRange(1, static_cast<int>(SupplyVoltage));
    SetAllDacVoltages(0, kEditSupplyTenths, 0, 0);
    SetDeviceGround(1);
    DelayMsSlot(100);
    FloatPinRange(1, 48);
    SetPin(t.HeldLowPin, 0);
    WritePinGroup(0, 1, 5, 0);
    SetPin(t.ClockPin, 0);
    SetPin(t.DataInPin, 0);
    SetPin(t.StrobePin, 0);
    SetDevicePower(1, static_cast<int>(SupplyVoltage));
    SetPin(t.StrobePin, 1);
    SetSupplyPinA(t.EditVoltagePin, 1);
    SetDacVoltage(2, kEditVoltageTenths);
    DelayShortUsSlot(100);
    WritePinGroup(1, 0, 4, 0);
    SetPin(t.ProgramPin, 0);
    SetPin(t.AddressPins[0], 0);

    GalSelectAddress(t, kSignatureAddress);
    for (int& entry : GalSignatureRecord) entry = 0;
    for (int i = 0; i < kSignatureBits; ++i) {
        GalSignatureRecord[i / 8] |= GetPin(t.DataOutPin) << (i % 8);
        GalShiftBit(t, 0);
    }
    const int result = ValidSignature() ? 1 : -1;
    GalSecondArchOrder = GalSignatureRecord[2] >= 26 ? 1 : 0;
    if (result == -1) {
        GalPowerDown(t);
    } else if (mode == kWriting) {
        const int code = GalSignatureRecord[1];
        const int national = GalSignatureRecord[3] == 0x8F ? 0 : 1;
        GalVpp = GalProgrammingTable[national][code];
        GalPulseWidth = GalProgrammingTable[2 + national][code];
        SetDacVoltage(2, static_cast<int>(GalVpp));
    }
    if (result == -1) ShowMessageLine(" Incorrect device ID");
    return result;
}

int WalkSteps(const GalRowSerialType& t) { return t.ArrayRows + 2; }

int GalRead(const GalRowSerialType& t, int mode) {
    if (mode == 3) RemapFuseRows(1);
    if (GalPowerUp(t, kReading) != 1) return -1;
    int r = 1;
    for (int step = 0; step < WalkSteps(t) && r != -1; ++step) {
        GalSelectAddress(t, RowAddress(t, step));
        const int bits = RowBits(t, step);
        for (int i = 0; i < bits; ++i) {
            ReadValue = static_cast<uint32_t>(GetPin(t.DataOutPin));
            if (i != bits - 1) GalShiftBit(t, 0);
            r = CheckShadowFuseBit(static_cast<int>(ShadowFuseBase + RowFuse(t, step, i)), 0,
                                   static_cast<int>(ReadValue), mode);
            if (r == -1) break;
        }
    }
    GalPowerDown(t);
    if (mode == 2) RemapFuseRows(2);
    return r;
}

// A user break stops the walk with the part half programmed: it is reported
// as a break, not as a success.
int GalProgram(const GalRowSerialType& t) {
    RemapFuseRows(1);
    if (GalPowerUp(t, kWriting) != 1) return -1;
    for (int step = 0; step < WalkSteps(t); ++step) {
        GalSelectAddress(t, RowAddress(t, step));
        const int bits = RowBits(t, step);
        for (int i = 0; i < bits; ++i) {
            const uint32_t fuse = RowFuse(t, step, i);
            if (StepProgressByAddress(fuse) == 3) {
                GalPowerDown(t);
                return 3;
            }
            ExpectedValue = GetBufferBit(ShadowFuseBase + fuse);
            GalShiftBit(t, ExpectedValue);
        }
        GalProgramPulse(t, GalPulseWidth);
    }
    GalPowerDown(t);
    return 1;
}

// One pulse on a control row (erase or security), data in held high, the
// row address put on the pins without a separate strobe; ms 0 takes the
// signature's pulse width.
int GalControlPulse(const GalRowSerialType& t, int address, uint32_t ms) {
    if (GalPowerUp(t, kWriting) != 1) return -1;
    if (ms == 0) ms = GalPulseWidth;
    SetPin(t.DataInPin, 1);
    PutAddress(address);
    GalProgramPulse(t, ms);
    GalPowerDown(t);
    return 1;
}

} // namespace

const std::array<std::array<uint16_t, 82>, 2> GalArchitectureRowOrder{kArch0, kArch1};

const uint16_t GalProgrammingTable[4][6] = {
    {157, 157, 165, 155, 150, 150},
    {157, 157, 162, 145, 140, 125},
    {90, 90, 15, 15, 50, 50},
    {80, 80, 10, 40, 40, 5},
};

int GalSignatureRecord[8] = {};
uint32_t GalVpp = 0;
uint32_t GalPulseWidth = 0;
uint32_t GalSecondArchOrder = 0;

const GalRowSerialType Gal16V8RowSerial = {
    219,
    {32, 17, 18, 19, 20, 21},
    {27, 28, 29, 30, 31},
    22, 23, 25, 26, 33, 15, 16,
    32, 64,
    32, 64, 2056,
    60, 82,
    {GalArchitectureRowOrder[0].data(), GalArchitectureRowOrder[1].data()},
};

int Alg219Read(int mode) { return GalRead(Gal16V8RowSerial, mode); }
int Alg219Program() { return GalProgram(Gal16V8RowSerial); }
int Alg219Erase() { return GalControlPulse(Gal16V8RowSerial, kEraseAddress, kEraseMs); }
int Alg219Secure() { return GalControlPulse(Gal16V8RowSerial, kSecureAddress, 0); }

void InstallGalRowSerialRows() {
    if (AlgorithmEntry* e = AlgorithmRow(219)) {
        e->Read = Alg219Read;
        e->Program = Alg219Program;
        e->Erase = Alg219Erase;
        e->Secure = Alg219Secure;
        e->Options = Alg207Options;
    }
}
