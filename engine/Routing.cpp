#include "engine/Routing.h"

#include <cstring>
#include <initializer_list>
#include <vector>

#include "engine/Device.h"
#include "engine/Port.h"
#include "engine/Power.h"
#include "engine/Services.h"
#include "engine/Tables.h"

const uint8_t StrongSupplyPins[8] = {25, 28, 34, 36, 38, 40, 44, 48};
const uint8_t StrongSupplyBits[8] = {4, 7, 5, 6, 3, 0, 2, 1};

namespace {

// The grounded-Vpp line has been logged since the last operation step began.
bool g_vppGroundNoticeShown = false;

constexpr int kRampDelayUs = 10;
constexpr int kPairDelayUs = 10;
constexpr int kStrongSettleUs = 20;

// Strong grounds: latch 29 bits of socket pins 24, 15 and 34.
struct StrongGround {
    int pin;
    uint8_t bit;
};
constexpr StrongGround kStrongGrounds[3] = {{24, 2}, {15, 5}, {34, 6}};

// Supply pin of algorithm 156 by variant 0-16.
constexpr int kAlg156SupplyPins[17] = {44, 36, 44, 44, 38, 40, 44, 40, 44, 36, 36, 36, 38, 40, 40, 34, 12};
// Programming-voltage pin of algorithm 156 by variant 0-16.
constexpr int kAlg156VppPins[17] = {5, 39, 5, 5, 11, 9, 5, 9, 5, 16, 16, 5, 16, 11, 5, 17, 9};
// Ground pins of algorithm 156 by variant 0-14 (0 ends a list).
constexpr int kAlg156GroundPins[15][2] = {
    {24, 0}, {24, 25}, {24, 29}, {24, 35}, {34, 0}, {33, 0}, {24, 0}, {25, 0},
    {24, 0}, {14, 0},  {14, 0},  {14, 0},  {18, 0}, {24, 0}, {25, 0},
};

bool In(uint32_t value, std::initializer_list<uint32_t> set) {
    for (uint32_t v : set) {
        if (v == value) return true;
    }
    return false;
}

bool AdapterIn(std::initializer_list<uint32_t> codes) {
    return In(AdapterCode, codes);
}
bool AlgorithmIn(std::initializer_list<uint32_t> rows) {
    return In(CurrentAlgorithm, rows);
}
bool AlgorithmBetween(uint32_t first, uint32_t last) {
    return CurrentAlgorithm >= first && CurrentAlgorithm <= last;
}

const PackageEntry& CurrentPackage() {
    return PackageRow(PackageIndex);
}

// The socket pin of a device pin of the current package; 0 when the element
// names no pin (a ball name reads as 0) or the pin lies outside the socket.
int PackagePinToZif(int devicePin) {
    if (devicePin <= 0) return 0;
    const int z = MapDevicePinToZifPin(devicePin);
    return IsZifPin(z) ? z : 0;
}

std::vector<int> PackageZifPins(const char* list) {
    std::vector<int> pins;
    for (int devicePin : ParsePinList(list)) {
        const int z = PackagePinToZif(devicePin);
        if (z != 0) pins.push_back(z);
    }
    return pins;
}

// ---- supply --------------------------------------------------------------

enum class SupplyKind { Package, Pin, Pair0, Pair1, None };
struct SupplyChoice {
    SupplyKind kind;
    int pin;
};

constexpr SupplyChoice Package() {
    return {SupplyKind::Package, 0};
}
constexpr SupplyChoice Pin(int z) {
    return {SupplyKind::Pin, z};
}
constexpr SupplyChoice Nothing() {
    return {SupplyKind::None, 0};
}

// The first matching row of the supply exceptions.
SupplyChoice ChooseSupply() {
    const uint32_t alg = CurrentAlgorithm;
    if (AdapterIn({'P', 'Q'})) return Package();
    if (AdapterCode == 'R') return alg == 150 || alg == 151 ? Pin(48) : Package();
    // No device uses adapter ',' or 'k' with another algorithm: no supply pin.
    if (AdapterCode == ',') return alg == 197 ? Pin(25) : Nothing();
    if (AdapterIn({'f', 'g'})) return Pin(44);
    if (AdapterIn({4, 5, 6, 7, 8})) return Pin(36);
    if (AdapterIn({'-', '.', 25, 'l', '/'})) return Pin(44);
    if (AdapterCode == 'j') return alg == 56 ? SupplyChoice{SupplyKind::Pair1, 0} : Pin(44);
    if (AdapterCode == 'V') return Pin(37);
    if (AdapterIn({'a', 'z'})) return alg == 111 ? Pin(15) : Pin(5);
    if (AdapterCode == 'k') return alg == 46 ? Pin(31) : Nothing();
    if (AdapterCode == 133) return Pin(37);
    if (AlgorithmBetween(212, 218) || AlgorithmIn({257, 260, 261, 264, 265, 266})) return Pin(38);
    if (alg == 211) return AdapterCode == 24 ? Pin(38) : Package();
    if (AlgorithmIn({20, 21, 23, 24, 25, 26, 27, 37, 42, 54, 91, 144, 170})) return Pin(44);
    if (AlgorithmIn({250, 252}) || (alg == 253 && DeviceVariant == 2)) return Pin(48);
    if (alg == 120) {
        if (DeviceVariant == 13 && DeviceSubVariant == 1) return Pin(24);
        if (DeviceSubVariant == 1) return Pin(25);
        return Package();
    }
    if ((alg == 132 && DeviceSubVariant == 1) || alg == 131 || (alg == 135 && DeviceVariant == 1))
        return Pin(46);
    if (AlgorithmIn({137, 139, 141})) return Pin(17);
    if (alg == 140) return Pin(14);
    if (alg == 43) return AdapterCode == 'Z' ? Pin(37) : Package();
    if (alg == 56) return Pin(40);
    if (alg == 74) return Pin(25);
    if (alg == 46) return AdapterCode == 'x' ? SupplyChoice{SupplyKind::Pair0, 0} : Package();
    // Other packages of 155 and variants of 156 past the table: no supply pin.
    if (alg == 155) return CurrentPackage().PinCount == 32 ? Pin(40) : Nothing();
    if (alg == 156) return DeviceVariant <= 16 ? Pin(kAlg156SupplyPins[DeviceVariant]) : Nothing();
    return Package();
}

void RampPairChannels(int state, int tenths) {
    if (state == 1) {
        for (int v = 0; v <= tenths; ++v) {
            SetDacVoltage(3, v);
            SetDacVoltage(4, v);
            DelayShortUsSlot(kPairDelayUs);
        }
    } else {
        for (int v = tenths; v >= 0; --v) {
            SetDacVoltage(3, v);
            SetDacVoltage(4, v);
            DelayShortUsSlot(kPairDelayUs);
        }
    }
}

// Supply B switched on the given pins with channels 3 and 4 ramped together:
// the ramp rises after the switches close and falls before they open.
void SwitchSupplyBPins(int state, int tenths, const std::vector<int>& pins) {
    const int s = state == 1 ? 1 : 0;
    if (s == 0) RampPairChannels(0, tenths);
    for (int z : pins)
        SetSupplyPinB(z, s);
    if (s == 1) RampPairChannels(1, tenths);
}

void PowerSinglePin(int state, int tenths, int z) {
    if (!IsZifPin(z)) return;
    const int bit = StrongSupplyBit(z);
    if (bit < 0) {
        const int channel = z % 2 == 0 ? 4 : 3;
        if (state == 1) {
            SetSupplyPinB(z, 1);
            RampVoltageUp(channel, 0, tenths, 1, kRampDelayUs);
        } else {
            RampVoltageDown(channel, tenths, 0, 1, kRampDelayUs);
            SetSupplyPinB(z, 0);
        }
        return;
    }
    // The strong path adds 0.9 V (below 3.4 V) or 1.1 V to channel 4.
    const int target = tenths < 34 ? tenths - 9 : tenths - 11;
    if (state == 1) {
        SetLatchBit(28, static_cast<uint32_t>(bit), 1);
        RampVoltageUp(4, 0, target, 1, kRampDelayUs);
        DelayShortUsSlot(kStrongSettleUs);
    } else {
        RampVoltageDown(4, target, 0, 1, kRampDelayUs);
        SetLatchBit(28, static_cast<uint32_t>(bit), 0);
    }
}

// ---- ground --------------------------------------------------------------

// One ground switch the routing closes or opens: a socket pin's ground latch,
// or the strong ground of socket pin 15, 24 or 34.
struct GroundAction {
    int pin;
    bool strong;
    int state;
};
// At most one action a pin list entry; asked before every programming pulse,
// so it is built without allocating.
struct GroundPlan {
    GroundAction action[64];
    int count = 0;
    void push_back(const GroundAction& a) {
        if (count < 64) action[count++] = a;
    }
    const GroundAction* begin() const { return action; }
    const GroundAction* end() const { return action + count; }
};

void AddPins(GroundPlan& plan, std::initializer_list<int> pins, int state) {
    for (int z : pins)
        plan.push_back({z, false, state});
}

void AddStrong(GroundPlan& plan, std::initializer_list<int> pins, int state) {
    for (int z : pins)
        plan.push_back({z, true, state});
}

void AddPackage(GroundPlan& plan, int state) {
    int pins[64];
    const int n = ParsePinList(CurrentPackage().GndPins, pins, 64);
    for (int i = 0; i < n; ++i) {
        const int z = PackagePinToZif(pins[i]);
        if (z != 0) plan.push_back({z, z == 15 || z == 24 || z == 34, state});
    }
}

// The ground switches of the current device, first matching row.
GroundPlan PlanGround(int s) {
    GroundPlan plan;
    const uint32_t alg = CurrentAlgorithm;
    if (AdapterIn({'P', 'Q', 'R'})) {
        AddPackage(plan, s);
    } else if (AdapterCode == ',') {
        if (alg == 197) AddStrong(plan, {24}, s);
    } else if (AdapterIn({4, 5, 6, 7, 8, '-', '.', '/', 25})) {
        AddStrong(plan, {24}, s);
    } else if (AdapterIn({'a', 'z'})) {
        // Adapter 'a' and 'z' keep their ground connected until the outputs reset.
        AddPins(plan, {alg == 111 ? 16 : 14}, 1);
    } else if (AdapterIn({'f', 'g', 'l'})) {
        AddStrong(plan, {24}, s);
    } else if (AdapterCode == 'j') {
        if (alg == 56) {
            AddPins(plan, {17, 33}, s);
        } else {
            AddStrong(plan, {15, 34}, s);
        }
    } else if (AdapterCode == 'k') {
        if (alg == 46) AddPins(plan, {8, 48}, 1);
    } else if (AdapterCode == 133) {
        AddPins(plan, {27, 46}, s);
    } else if (AlgorithmIn({56, 131, 132, 135, 170, 250, 252, 257, 260, 261, 264, 265, 266}) ||
               AlgorithmBetween(212, 218) || (alg == 253 && DeviceVariant == 2)) {
        AddStrong(plan, {24}, s);
    } else if (alg == 211) {
        if (AdapterCode == 24) {
            AddStrong(plan, {24}, s);
        } else {
            AddPackage(plan, s);
        }
    } else if (AlgorithmIn({20, 21, 23, 24, 25, 26, 27, 37, 54, 74, 91})) {
        AddStrong(plan, {15, 34}, s);
    } else if (alg == 144) {
        AddStrong(plan, {15}, s);
    } else if (alg == 120) {
        if (DeviceVariant == 13 && DeviceSubVariant == 1) {
            AddPins(plan, {4, 3}, s);
        } else if ((DeviceVariant == 13 && DeviceSubVariant == 0) || DeviceSubVariant == 1) {
            AddPins(plan, {5}, s);
        } else {
            AddPackage(plan, s);
        }
    } else if (AlgorithmIn({137, 139, 141})) {
        AddPins(plan, {37}, s);
    } else if (alg == 140) {
        AddPins(plan, {5, 37}, s);
    } else if (alg == 146) {
        if (DeviceVariant == 0) AddPins(plan, {4, 5}, s);
        if (DeviceVariant == 1) AddPins(plan, {14, 15, 40}, s);
    } else if (alg == 43) {
        if (AdapterCode == 'Z') {
            AddPins(plan, {38}, s);
        } else {
            AddPackage(plan, s);
        }
    } else if (alg == 46) {
        if (AdapterCode == 'x') {
            AddPins(plan, {27}, s);
        } else {
            AddPackage(plan, s);
        }
    } else if (alg == 155) {
        AddPins(plan, {24}, s);
    } else if (alg == 156) {
        if (DeviceVariant <= 14) {
            for (int z : kAlg156GroundPins[DeviceVariant]) {
                if (z != 0) plan.push_back({z, false, s});
            }
        }
    } else {
        AddPackage(plan, s);
    }
    return plan;
}

// The socket pins PlanGround(1) names (bit z: socket pin z), for the device
// state it was worked out under. The plan follows from these alone (the
// package table is constant), and SetDeviceVpp asks before every pulse.
struct GroundMaskKey {
    uint32_t algorithm = 0, adapter = 0, variant = 0, subVariant = 0;
    const PackageEntry* package = nullptr;
    bool operator==(const GroundMaskKey&) const = default;
};
GroundMaskKey g_groundMaskKey;
uint64_t g_groundMask = 0;
bool g_groundMaskValid = false;

uint64_t PlannedGroundMask() {
    uint64_t mask = 0;
    for (const GroundAction& g : PlanGround(1)) {
        if (g.pin >= 1 && g.pin <= 63) mask |= uint64_t{1} << g.pin;
    }
    return mask;
}

bool RoutingGrounds(int zifPin) {
    const GroundMaskKey key{CurrentAlgorithm, AdapterCode, DeviceVariant, DeviceSubVariant, &CurrentPackage()};
    if (!g_groundMaskValid || !(key == g_groundMaskKey)) {
        g_groundMask = PlannedGroundMask();
        g_groundMaskKey = key;
        g_groundMaskValid = true;
    }
    return zifPin >= 1 && zifPin <= 63 && ((g_groundMask >> zifPin) & 1) != 0;
}

void StrongGroundPin(int pin, int state) {
    for (const StrongGround& g : kStrongGrounds) {
        if (g.pin == pin) SetLatchBit(29, g.bit, state == 1 ? 1 : 0);
    }
}

} // namespace

int StrongSupplyBit(int zifPin) {
    for (int i = 0; i < 8; ++i) {
        if (StrongSupplyPins[i] == zifPin) return StrongSupplyBits[i];
    }
    return -1;
}

void SwitchVccPinPair(int state, int tenths, int pair) {
    SwitchSupplyBPins(state, tenths, pair == 0 ? std::vector<int>{13, 38} : std::vector<int>{24, 25});
}

void SwitchPackageVccPins(int state, int tenths) {
    SwitchSupplyBPins(state, tenths, PackageZifPins(CurrentPackage().VccPins));
}

void SetDevicePower(int state, int tenths) {
    const SupplyChoice c = ChooseSupply();
    switch (c.kind) {
    case SupplyKind::None:
        return;
    case SupplyKind::Pair0:
        SwitchVccPinPair(state, tenths, 0);
        return;
    case SupplyKind::Pair1:
        SwitchVccPinPair(state, tenths, 1);
        return;
    case SupplyKind::Pin:
        PowerSinglePin(state, tenths, c.pin);
        return;
    case SupplyKind::Package:
        break;
    }
    const PackageEntry& pkg = CurrentPackage();
    if (pkg.VccPins != nullptr && std::strchr(pkg.VccPins, ',') != nullptr) {
        SwitchPackageVccPins(state, tenths);
        return;
    }
    const std::vector<int> pins = ParsePinList(pkg.VccPins);
    if (!pins.empty()) PowerSinglePin(state, tenths, PackagePinToZif(pins[0]));
}

void SetDeviceGround(int state) {
    for (const GroundAction& g : PlanGround(state == 1 ? 1 : 0)) {
        if (g.strong) {
            StrongGroundPin(g.pin, g.state);
        } else {
            SetGroundPin(g.pin, g.state);
        }
    }
}

void ResetVppGroundNotice() { g_vppGroundNoticeShown = false; }

void SetDeviceVpp(int state, int tenths) {
    const PackageEntry& pkg = CurrentPackage();
    if (pkg.VppPin == 0) return;
    int z = MapDevicePinToZifPin(pkg.VppPin);
    const uint32_t alg = CurrentAlgorithm;
    if (alg == 110) {
        // This row's programming voltage has switches of its own (latch 29).
        const uint32_t bit = z == 19 ? 0 : 1;
        if (state == 1) {
            SetLatchBit(29, bit, 1);
            SetDacVoltage(1, tenths);
        } else {
            SetLatchBit(29, bit, 0);
            SetDacVoltage(1, 50);
        }
        return;
    }
    const bool adapterAZ = AdapterIn({'a', 'z'});
    if (alg == 37) {
        z = 5;
    } else if (alg == 111 && adapterAZ) {
        z = 5;
    } else if (alg == 113 && adapterAZ) {
        z = 36;
    } else if (alg == 155 && pkg.PinCount == 32) {
        z = 39;
    } else if (alg == 156 && DeviceVariant <= 16) {
        z = kAlg156VppPins[DeviceVariant];
    }
    if (!IsZifPin(z)) return;
    // Package rows 47 and 62 name their programming pin among their grounds.
    // The programming voltage never goes onto a pin the routing grounds: that
    // would short the supply; the pin stays at ground and the chip unprogrammed.
    // One line per step tells the user why (algorithms switch Vpp per pulse).
    if (RoutingGrounds(z)) {
        if (state == 1 && !g_vppGroundNoticeShown) {
            ShowMessageLine(" Vpp not applied: socket pin %d is grounded.", z);
            g_vppGroundNoticeShown = true;
        }
        return;
    }
    const int channel = z % 2 == 0 ? 2 : 1;
    if (state == 1) {
        SetSupplyPinA(z, 1);
        SetDacVoltage(channel, tenths);
    } else {
        SetSupplyPinA(z, 0);
        SetDacVoltage(channel, 50);
    }
}
