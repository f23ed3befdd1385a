#include "sim/MacrocellWordChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kStrobePin = 13, kHoldPin = 1, kSecurePin = 3, kPlanePin = 11, kVccPin = 24, kGndPin = 12;
constexpr int kVppTolerance = 3;
constexpr int kVppOnTenths = 100;
constexpr int kPinOverTenths = 7;
constexpr uint64_t kProgramUs = 100;
constexpr uint64_t kSecureUs = 1000;
constexpr size_t kLogLimit = 1u << 18;

// The 22V10 map: product terms, output-enable row and first term of output b.
constexpr int kTerms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr int kOutputEnable[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr int kPresetRow = 5764, kArchitecture = 5808;

// The 20RA10 column code: in each group of four columns the two pairs
// swapped, the whole shifted up by 2; pin value -> column.
int ColumnOfCode(int v) {
    if (v < 2 || v > 41) return -1;
    return (v - 2) ^ 2;
}

} // namespace

MacrocellWordChip::MacrocellWordChip(const MacrocellWordFacts& facts)
    : CellArrayChip(facts.name, 24, FuseCount(facts.kind) + (facts.extraCell ? 1 : 0), kVccPin, {kGndPin}),
      part_(facts), taken_(CellCount(), 0) {
    const int rating = facts.vppTenths + kPinOverTenths;
    for (int pin : {kStrobePin, kHoldPin, kSecurePin, kPlanePin}) AllowPin(pin, rating);
}

bool MacrocellWordChip::AtVpp(const PinEnvironment& env, int chipPin) const {
    return Within(Volts(env, chipPin), part_.vppTenths, kVppTolerance);
}

int MacrocellWordChip::CellAt(const PinEnvironment& env, int k) const {
    int v = 0;
    for (int b = 0; b < 6; ++b) v |= Level(env, 2 + b) << b;
    const bool third = Volts(env, kPlanePin) >= kVppOnTenths;
    int r = Level(env, 8) | Level(env, 9) << 1 | Level(env, 10) << 2;
    if (!third) r |= Level(env, kPlanePin) << 3;
    return CellOf(third, r, v, k);
}

int MacrocellWordChip::CellOf(bool third, int r, int v, int k) const {
    if (k < 0 || k > 9) return -1;
    switch (part_.kind) {
    case MacrocellWordKind::Ra10Small: {
        if (third && r == 0 && v == 0) return 3200 + k;
        const int c = ColumnOfCode(v);
        if (c < 0) return -1;
        if (!third) return r < 7 ? 320 * k + 280 - 40 * r + c : -1;
        return r == 7 ? 320 * k + c : -1;
    }
    case MacrocellWordKind::Ra10Large:
        if (!third) return r < 8 && v < 44 ? 396 * k + 44 * r + v + 44 : -1;
        if (r == 7 && v < 44) return 396 * k + v;
        if ((r == 0 || r == 2 || r == 4) && v == 63) return 3960 + 3 * k + r / 2;
        return -1;
    case MacrocellWordKind::V10: {
        const int b = 9 - k;
        if (!third) {
            if (v >= 44) return -1;
            if (kTerms[b] > r) return kOutputEnable[b] + 44 + 44 * r + v;
            if (r == 15 && k == 6) return v;
            if (r == 15 && k == 3) return kPresetRow + v;
            return -1;
        }
        if (r == 7 && v < 44) return kOutputEnable[b] + v;
        if (r == 0 && v == part_.archColumn) return kArchitecture + 2 * b;
        if (r == 2 && v == part_.archColumn) return kArchitecture + 2 * b + 1;
        if (part_.extraCell && r == 6 && v == 63 && k == 7) return static_cast<int>(ExtraCell());
        return -1;
    }
    }
    return -1;
}

void MacrocellWordChip::UvErase() {
    EraseAll();
    std::fill(taken_.begin(), taken_.end(), uint8_t{0});
}

void MacrocellWordChip::Step(const PinEnvironment& env) {
    const bool powered = Powered(env);
    for (int pin : {kStrobePin, kHoldPin, kSecurePin, kPlanePin}) {
        if (!powered && Volts(env, pin) >= kVppOnTenths) env.Violation(Name() + ": VPP without VCC and ground");
    }
    int pulse = 0;
    if (powered && AtVpp(env, kStrobePin)) {
        if (AtVpp(env, kSecurePin)) {
            pulse = 2;
        } else if (AtVpp(env, kHoldPin)) {
            pulse = 1;
        }
    }
    if (pulse == pulse_) {
        if (pulse != 1) return;
        for (int k = 0; k < 10; ++k) {
            const int cell = Level(env, DataPin(k)) == 1 ? CellAt(env, k) : -1;
            if (cell != pulseCells_[k]) { // the word changed under the pulse: not taken
                timer_.Stop(env.NowUs());
                pulse_ = 0;
                return;
            }
        }
        return;
    }
    if (pulse_ != 0 && timer_.Running()) EndPulse(timer_.Stop(env.NowUs()));
    pulse_ = pulse;
    if (pulse == 0) return;
    timer_.Start(env.NowUs());
    for (int k = 0; k < 10; ++k) pulseCells_[k] = Level(env, DataPin(k)) == 1 ? CellAt(env, k) : -1;
}

void MacrocellWordChip::EndPulse(uint64_t width) {
    if (pulse_ == 2) {
        if (width >= kSecureUs) Secure();
        return;
    }
    if (pulses_.size() < kLogLimit) pulses_.push_back(width);
    if (width < kProgramUs) return;
    for (int cell : pulseCells_) {
        if (cell < 0) continue;
        const auto n = static_cast<uint32_t>(cell);
        if (taken_[n] < 255) ++taken_[n];
        if (taken_[n] >= needed_) WriteCell(n, 0);
    }
}

ChipDrive MacrocellWordChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin < 14 || chipPin > 23 || Volts(env, kStrobePin) >= kVppOnTenths || Level(env, kStrobePin) != 0)
        return ChipDrive::None;
    const int k = part_.kind == MacrocellWordKind::V10 ? chipPin - 14 : 23 - chipPin;
    const int cell = CellAt(env, k);
    const bool programmed = Secured() || (cell >= 0 && Programmed(static_cast<uint32_t>(cell)));
    return programmed != part_.trueOutputs ? ChipDrive::Low : ChipDrive::High;
}

} // namespace sim
