#include "sim/MacrocellFuseChip.h"

namespace sim {

namespace {

constexpr int kClockPin = 1, kSelectPin = 5, kEnablePin = 13, kVccPin = 24, kGndPin = 12;
constexpr int kRaisedTenths = 100;
constexpr int kBlowTenths = 150, kBlowTolerance = 5;
constexpr int kProgramVccTenths = 52, kVccTolerance = 3;
constexpr int kRaisedMaxTenths = 115, kOutputMaxTenths = 155;
constexpr uint64_t kBlowUs = 40;

constexpr int kTerms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr int kOutputEnable[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr int kPresetRow = 5764, kArchitecture = 5808;

int OutputPin(int b) { return 23 - b; }

} // namespace

MacrocellFuseChip::MacrocellFuseChip(const MacrocellFuseFacts& facts)
    : BipolarFuseChip(facts.name, 24, kMapFuses + 1, kVccPin, {kGndPin}) {
    for (int p : {kClockPin, kSelectPin, kEnablePin}) AllowPin(p, kRaisedMaxTenths);
    for (int b = 0; b < 10; ++b) AllowPin(OutputPin(b), kOutputMaxTenths);
}

int MacrocellFuseChip::CellAt(const PinEnvironment& env, int b) const {
    int c = 0;
    for (int i = 0; i < 6; ++i) c |= Level(env, 6 + i) << i;
    const bool select = Volts(env, kSelectPin) >= kRaisedTenths;
    int r = Level(env, 2) | Level(env, 3) << 1 | Level(env, 4) << 2;
    if (!select) r |= Level(env, kSelectPin) << 3;
    return CellOf(select, r, c, b);
}

int MacrocellFuseChip::CellOf(bool select, int r, int c, int b) const {
    if (b < 0 || b > 9) return -1;
    if (!select) return r < kTerms[b] && c < 44 ? kOutputEnable[b] + 44 + 44 * r + c : -1;
    if (c < 44) {
        if (r == 0) return kOutputEnable[b] + c;
        if (r == 3 && b == 1) return c;
        if (r == 3 && b == 8) return kPresetRow + c;
        return -1;
    }
    if (c != 63) return -1;
    if (r == 1) return kArchitecture + 2 * b;
    if (r == 2) return kArchitecture + 2 * b + 1;
    if (r == 5 && b == 1) return static_cast<int>(kSecurityCell);
    return -1;
}

void MacrocellFuseChip::Step(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const bool powered = Powered(env);
    const bool enabled = powered && Volts(env, kEnablePin) >= kRaisedTenths;
    int pulse = -1;
    if (enabled && Volts(env, kClockPin) >= kRaisedTenths && Within(Volts(env, kVccPin), kProgramVccTenths, kVccTolerance)) {
        int raised = -1, count = 0;
        for (int b = 0; b < 10; ++b) {
            if (Volts(env, OutputPin(b)) >= kRaisedTenths) {
                raised = b;
                ++count;
            }
        }
        if (count == 1 && Within(Volts(env, OutputPin(raised)), kBlowTenths, kBlowTolerance)) {
            const int cell = CellAt(env, raised);
            if (cell >= 0) pulse = cell;
        }
    }
    if (pulse != pulse_) {
        const uint64_t width = timer_.Stop(now);
        if (pulse_ >= 0 && width >= kBlowUs) {
            Blow(static_cast<uint32_t>(pulse_), width);
            if (Blown(kSecurityCell)) Secure();
        }
        pulse_ = pulse;
        if (pulse >= 0) timer_.Start(now);
    }
    // The read clock: a logic-level rising edge with the enable raised.
    const int clockVolts = Volts(env, kClockPin);
    const bool clock = clockVolts >= kHighThresholdTenths && clockVolts < kRaisedTenths;
    const bool rise = clock && !clockHigh_;
    clockHigh_ = clock;
    if (!enabled) {
        latched_ = false;
        return;
    }
    if (!rise) return;
    latched_ = true;
    latchedBlown_ = 0;
    for (int b = 0; b < 10; ++b) {
        const int cell = CellAt(env, b);
        // A secured part hides its array: every cell but the security cell reads intact.
        if (cell < 0 || (Secured() && cell != static_cast<int>(kSecurityCell))) continue;
        if (Blown(static_cast<uint32_t>(cell))) latchedBlown_ |= 1u << b;
    }
}

ChipDrive MacrocellFuseChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (!latched_ || chipPin < 14 || chipPin > 23 || Volts(env, chipPin) >= kRaisedTenths) return ChipDrive::None;
    if (Volts(env, kEnablePin) < kRaisedTenths) return ChipDrive::None;
    return (latchedBlown_ >> (23 - chipPin)) & 1 ? ChipDrive::Low : ChipDrive::High;
}

} // namespace sim
