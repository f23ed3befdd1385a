#include "engine/Pins.h"

#include <cstdarg>
#include <cstring>

#include "engine/Buffer.h"
#include "engine/Port.h"
#include "engine/Power.h"

uint8_t PinGroupTable[kPinGroupCount][kPinGroupRowBytes] = {};
uint8_t PinSnapshot[12] = {};

namespace {

bool ValidPin(int pin) { return pin >= 1 && pin <= 48; }

// Applies a level to the shadow of the pin's latches; floatChanged tells whether
// the float bit changed.
void ShadowLevel(int pin, int level, bool& floatChanged) {
    const int g = (pin - 1) / 8;
    const uint8_t m = static_cast<uint8_t>(1u << ((pin - 1) % 8));
    floatChanged = false;
    if (level == 2) {
        floatChanged = (RegisterShadow[2 * g] & m) == 0;
        RegisterShadow[2 * g] |= m;
        return;
    }
    if (RegisterShadow[2 * g] & m) {
        RegisterShadow[2 * g] &= static_cast<uint8_t>(~m);
        floatChanged = true;
    }
    if (level == 1) {
        RegisterShadow[2 * g + 1] |= m;
    } else {
        RegisterShadow[2 * g + 1] &= static_cast<uint8_t>(~m);
    }
}

// Visits positions first..last of a group row, stopping at the row's terminating
// 0, at the end of the row and after 64 positions (the width of a group value).
template <class Fn> void ForGroupPositions(int group, int first, int last, Fn fn) {
    if (group < 0 || group >= kPinGroupCount || first < 0) return;
    for (int k = first; k <= last && k < kPinGroupRowBytes; ++k) {
        const int bit = k - first;
        if (bit >= 64) break;
        const uint8_t pin = PinGroupTable[group][k];
        if (pin == 0) break;
        fn(pin, bit);
    }
}

} // namespace

void SetPin(int pin, int level) {
    if (!ValidPin(pin)) return;
    const int g = (pin - 1) / 8;
    bool floatChanged = false;
    ShadowLevel(pin, level, floatChanged);
    if (level == 2) {
        WriteRegister(2 * g, RegisterShadow[2 * g]);
        return;
    }
    if (floatChanged) WriteRegister(2 * g, RegisterShadow[2 * g]);
    WriteRegister(2 * g + 1, RegisterShadow[2 * g + 1]);
}

int GetPin(int pin) {
    if (!ValidPin(pin)) return 0;
    return (ReadRegister(static_cast<uint32_t>((pin - 1) / 8)) >> ((pin - 1) % 8)) & 1;
}

void PulsePin(int pin, int polarity) {
    if (polarity == 3) {
        SetPin(pin, 1);
        SetPin(pin, 0);
    } else {
        SetPin(pin, 0);
        SetPin(pin, 1);
    }
}

void PulsePinTimed(int pin, int polarity, uint32_t microseconds) {
    if (polarity == 3) {
        SetPin(pin, 1);
        DelayUsSlot(microseconds);
        SetPin(pin, 0);
    } else {
        SetPin(pin, 0);
        DelayUsSlot(microseconds);
        SetPin(pin, 1);
    }
}

void FloatPinRange(int firstPin, int lastPin) {
    if (firstPin < 1) firstPin = 1;
    if (lastPin > 48) lastPin = 48;
    for (int p = firstPin; p <= lastPin; ++p) SetPin(p, 2);
}

void DefinePinGroup(const char* label, int group, ...) {
    (void)label;
    va_list args;
    va_start(args, group);
    uint8_t row[kPinGroupRowBytes] = {};
    for (int k = 0; k < kPinGroupMaxPins; ++k) {
        const int pin = va_arg(args, int);
        if (pin == 0) break;
        // Numbers that do not fit a byte would read as another pin or as the end.
        row[k] = pin > 0 && pin < 256 ? static_cast<uint8_t>(pin) : 0xFF;
    }
    va_end(args);
    if (group < 0 || group >= kPinGroupCount) return;
    std::memcpy(PinGroupTable[group], row, sizeof row);
}

int GroupPin(int group, int position) {
    if (group < 0 || group >= kPinGroupCount || position < 0 || position >= kPinGroupRowBytes) return 0;
    return PinGroupTable[group][position];
}

void SetPinDeferred(int pin, int level) {
    if (!ValidPin(pin)) return;
    bool floatChanged = false;
    ShadowLevel(pin, level, floatChanged);
}

void SnapshotPinLatches() { std::memcpy(PinSnapshot, RegisterShadow, 12); }

void FlushPinLatches() {
    for (int r = 0; r < 12; ++r) {
        if (RegisterShadow[r] != PinSnapshot[r]) WriteRegister(static_cast<uint32_t>(r), RegisterShadow[r]);
    }
}

void ReadPinLevelsOnce(int pin) {
    if (!ValidPin(pin)) return;
    const int g = (pin - 1) / 8;
    if (PinSnapshot[6 + g] == 0) {
        PinSnapshot[g] = ReadRegister(static_cast<uint32_t>(g));
        PinSnapshot[6 + g] = 1;
    }
}

void WritePinGroup(int group, int first, int last, uint64_t value) {
    SnapshotPinLatches();
    ForGroupPositions(group, first, last, [&](int pin, int bit) {
        SetPinDeferred(pin, static_cast<int>((value >> bit) & 1));
    });
    FlushPinLatches();
}

void FloatPinGroup(int group, int first, int last) {
    SnapshotPinLatches();
    ForGroupPositions(group, first, last, [](int pin, int) { SetPinDeferred(pin, 2); });
    FlushPinLatches();
}

uint64_t ReadPinGroup(int group, int first, int last) {
    std::memset(PinSnapshot + 6, 0, 6);
    ForGroupPositions(group, first, last, [](int pin, int) { ReadPinLevelsOnce(pin); });
    uint64_t result = 0;
    ForGroupPositions(group, first, last, [&](int pin, int bit) {
        if (!ValidPin(pin)) return;
        const uint64_t level = (PinSnapshot[(pin - 1) / 8] >> ((pin - 1) % 8)) & 1;
        result |= level << bit;
    });
    return result;
}

void SetGroupPin(int group, int position, int level) { SetPin(GroupPin(group, position), level); }

int GetGroupPin(int group, int position) { return GetPin(GroupPin(group, position)); }

void SetGroupPinSupply(int group, int position, int state) {
    const int pin = GroupPin(group, position);
    if (ValidPin(pin)) SetSupplyPinA(pin, state);
}

void WriteGroupSupplyPins(int group, int first, int last, uint64_t value) {
    ForGroupPositions(group, first, last, [&](int pin, int bit) {
        if (ValidPin(pin)) SetSupplyPinA(pin, static_cast<int>((value >> bit) & 1));
    });
}

void WriteGroupGroundPins(int group, int first, int last, uint64_t value) {
    ForGroupPositions(group, first, last, [&](int pin, int bit) {
        if (ValidPin(pin)) SetGroundPin(pin, static_cast<int>((value >> bit) & 1));
    });
}

void CopyFuseShadowBit(int direction, int value, uint32_t n) {
    constexpr uint32_t kShadowOffset = 10000;
    if (direction == 1) {
        SetBufferBit(n + kShadowOffset, value == 2 ? GetBufferBit(n) : static_cast<uint32_t>(value));
    } else if (value == 2) {
        SetBufferBit(n, GetBufferBit(n + kShadowOffset));
    }
}

void ResetPinsState() {
    std::memset(PinGroupTable, 0, sizeof PinGroupTable);
    std::memset(PinSnapshot, 0, sizeof PinSnapshot);
}
