#include "engine/Power.h"

#include <algorithm>
#include <iterator>

#include "engine/Device.h"
#include "engine/Port.h"
#include "engine/Tables.h"

namespace {

// One row of the switch tables: eight socket pins two apart, the supply-A
// register, and the supply-B latch with its bit for each of the eight pins.
struct SwitchGroup {
    int firstPin;
    uint8_t regA;
    uint8_t latchB;
    uint8_t bitsB[8];
};

constexpr SwitchGroup kSwitchGroups[6] = {
    {1, 26, 16, {4, 5, 7, 6, 1, 0, 2, 3}},  {2, 27, 17, {3, 2, 0, 1, 6, 7, 5, 4}},
    {17, 28, 20, {3, 2, 0, 1, 6, 7, 5, 4}}, {18, 29, 19, {3, 2, 0, 1, 6, 7, 5, 4}},
    {33, 30, 18, {3, 2, 0, 1, 6, 7, 5, 4}}, {34, 31, 21, {3, 2, 0, 1, 6, 7, 5, 4}},
};

struct SwitchTables {
    std::array<SupplyPinAEntry, 49> a;
    std::array<PinLatchEntry, 49> b;
    std::array<PinLatchEntry, 49> g;
};

constexpr SwitchTables BuildSwitchTables() {
    SwitchTables t{};
    for (const SwitchGroup& grp : kSwitchGroups) {
        for (int k = 0; k < 8; ++k) {
            const int pin = grp.firstPin + 2 * k;
            t.a[pin] = {grp.regA, static_cast<uint8_t>(0x80 >> k)};
            t.b[pin] = {grp.latchB, grp.bitsB[k]};
        }
    }
    // Each ground latch serves four pins on each side of the socket.
    constexpr uint8_t left[4] = {6, 0, 2, 4};
    constexpr uint8_t right[4] = {5, 3, 1, 7};
    for (int p = 1; p <= 24; ++p)
        t.g[p] = {static_cast<uint8_t>(22 + (p - 1) / 4), left[(p - 1) % 4]};
    for (int p = 25; p <= 48; ++p)
        t.g[p] = {static_cast<uint8_t>(27 - (p - 25) / 4), right[(p - 1) % 4]};
    return t;
}

constexpr SwitchTables kTables = BuildSwitchTables();

constexpr int kMaxCalibratedTenths = 259; // the tables end at 25 V, one code per 0.1 V above
constexpr int kMinDacTenths = 10;
constexpr int kUncalibratedBelow = 33;

bool IsDacChannel(int channel) {
    return channel >= 1 && channel <= 4;
}

void SelectDacChannel(int index) {
    WriteRegister(13, (RegisterShadow[13] & 0xFCu) | static_cast<uint32_t>(index));
}

} // namespace

uint8_t HardwareIdBlock[kHardwareIdBlockSize] = {};
uint32_t GangAdapterState = 0;

const std::array<SupplyPinAEntry, 49> SupplyPinTableA = kTables.a;
const std::array<PinLatchEntry, 49> SupplyPinTableB = kTables.b;
const std::array<PinLatchEntry, 49> GroundPinTable = kTables.g;

bool IsZifPin(int zifPin) {
    return zifPin >= 1 && zifPin <= 48;
}

uint8_t CalibratedDacCode(int channel, int tenths) {
    if (!IsDacChannel(channel)) return 0;
    // Targets past the tables (26 V and up) are held at the top of the last volt.
    tenths = std::clamp(tenths, kMinDacTenths, kMaxCalibratedTenths);
    const int code = HardwareIdBlock[CalibrationIndex(channel, tenths / 10)] + tenths % 10;
    return static_cast<uint8_t>(std::min(code, 255));
}

void SetDacVoltage(int channel, int tenths) {
    if (!IsDacChannel(channel)) return;
    if (tenths < kMinDacTenths) tenths = kMinDacTenths;
    SelectDacChannel(channel - 1);
    if (tenths < kUncalibratedBelow) {
        WriteRegister(18, static_cast<uint32_t>(tenths + 8));
    } else {
        WriteRegister(18, CalibratedDacCode(channel, tenths));
    }
}

void SetAllDacVoltages(int t1, int t2, int t3, int t4) {
    const int t[4] = {t1, t2, t3, t4};
    for (int k = 0; k < 4; ++k) {
        SelectDacChannel(k);
        WriteRegister(18, CalibratedDacCode(k + 1, t[k]));
    }
}

void RampVoltageUp(int channel, int from, int to, int step, int delayUs) {
    if (!IsDacChannel(channel)) return;
    if (step <= 0) step = 1;
    for (long long v = from; v <= to; v += step) {
        SetDacVoltage(channel, static_cast<int>(v));
        if (delayUs != 0) DelayUsSlot(static_cast<uint32_t>(delayUs));
    }
    SetDacVoltage(channel, to);
}

void RampVoltageDown(int channel, int from, int to, int step, int delayUs) {
    if (!IsDacChannel(channel)) return;
    if (step <= 0) step = 1;
    for (long long v = from; v >= to; v -= step) {
        SetDacVoltage(channel, static_cast<int>(v));
        if (delayUs != 0) DelayUsSlot(static_cast<uint32_t>(delayUs));
    }
    SetDacVoltage(channel, to);
}

void StrobeDac() {
    WriteRegister(13, RegisterShadow[13]);
    WriteRegister(13, RegisterShadow[13] | 0x80u);
}

void SetSupplyPinA(int zifPin, int state) {
    if (!IsZifPin(zifPin)) return;
    const SupplyPinAEntry& e = SupplyPinTableA[zifPin];
    if (state == 1) {
        RegisterShadow[e.reg] = static_cast<uint8_t>(RegisterShadow[e.reg] | e.mask);
    } else {
        RegisterShadow[e.reg] = static_cast<uint8_t>(RegisterShadow[e.reg] & ~e.mask);
    }
    WriteRegister(e.reg, RegisterShadow[e.reg]);
}

void SetSupplyPinB(int zifPin, int state) {
    if (!IsZifPin(zifPin)) return;
    SetLatchBit(SupplyPinTableB[zifPin].reg, SupplyPinTableB[zifPin].bit, state == 1 ? 1 : 0);
}

void SetGroundPin(int zifPin, int state) {
    if (!IsZifPin(zifPin)) return;
    SetLatchBit(GroundPinTable[zifPin].reg, GroundPinTable[zifPin].bit, state == 1 ? 1 : 0);
}

void ApplyVoltageToPin(int channel, int zifPin, int state, int tenths) {
    if (!IsDacChannel(channel)) return;
    // The DAC moves before a release and after a connect, so the pin never
    // sees the level being left behind.
    if (state == 0) SetDacVoltage(channel, tenths);
    if (channel <= 2) {
        SetSupplyPinA(zifPin, state);
    } else {
        SetSupplyPinB(zifPin, state);
    }
    if (state == 1) SetDacVoltage(channel, tenths);
}

void ApplyVppToPin(int zifPin, int state, int tenths) {
    ApplyVoltageToPin(zifPin % 2 == 0 ? 2 : 1, zifPin, state, tenths);
}

void SetVccRange(int mode, int tenths) {
    SetLatchBit(29, 3, 1);
    SetLatchBit(29, 4, 1);
    if (tenths >= 30 && tenths <= 40) {
        WriteRegister(25, 8);
        WriteRegister(25, 10);
    }
    if (tenths >= 20 && tenths <= 29) WriteRegister(25, 9);
    RegisterShadow[13] = mode == 0 ? 0x0C : 0x04;
    WriteRegister(25, 15);
    if (GangAdapterState == 1) SetLatchBit(28, 2, 1);
}

void ResetProgrammerOutputs() {
    std::fill(std::begin(RegisterShadow), std::end(RegisterShadow), 0);
    for (uint32_t r = 0; r <= 11; ++r)
        WriteRegister(r, 0);
    RegisterShadow[15] = static_cast<uint8_t>(TimerPrescale & 0xFF);
    WriteRegister(15, RegisterShadow[15] | 0x80u);
    for (uint32_t r = 16; r <= 31; ++r) {
        for (uint32_t bit = 0; bit < 8; ++bit)
            WriteRegister(r, bit);
    }
    WriteRegister(15, RegisterShadow[15] & 0x7Fu);
    for (uint32_t bit = 0; bit < 8; ++bit)
        WriteRegister(25, bit);
    for (uint32_t r = 26; r <= 31; ++r)
        WriteRegister(r, 0);
    for (uint32_t k = 0; k < 4; ++k) {
        WriteRegister(13, k);
        WriteRegister(18, 0);
    }
    WriteRegister(13, 8);
    SetPulseTimer(1, 10);
}

int MapDevicePinToZifPin(int devicePin) {
    const int pinCount = PackageRow(PackageIndex).PinCount;
    return devicePin + (48 - pinCount) / 2;
}

void WriteRegister3(uint32_t value) {
    WriteRegister(3, value);
}

void SwapBytes16(uint16_t* word) {
    if (word == nullptr) return;
    *word = static_cast<uint16_t>((*word >> 8) | (*word << 8));
}

void SwapBytes16(uint32_t* word) {
    if (word == nullptr) return;
    const uint32_t w = *word;
    *word = (w & 0xFFFF0000u) | ((w & 0xFFu) << 8) | ((w >> 8) & 0xFFu);
}
