#include "sim/BipolarPalChip.h"

namespace sim {

namespace {

constexpr int kModePin = 1, kGroupPin = 2, kSecurityLevelPin = 2, kSecurityPin = 5;
constexpr int kHighMinTenths = 105, kHighMaxTenths = 120;
constexpr int kLevelTolerance = 5;
constexpr uint64_t kMinimumPulseUs = 40;
// The 20L10 class's security cell: the array pulse at this address on O0.
constexpr int kSecurityGroup = 7, kSecurityColumn = 45;
// Ratings: the high-voltage pins, and an output pin above the part's level.
constexpr int kHighPinMaxTenths = 125;
constexpr int kOutputMarginTenths = 10;
constexpr size_t kLogLimit = 1u << 16;

int PinCount(BipolarPalKind kind) { return kind == BipolarPalKind::Pal16 ? 20 : 24; }

} // namespace

BipolarPalChip::Geometry BipolarPalChip::GeometryOf(BipolarPalKind kind) {
    switch (kind) {
    case BipolarPalKind::Pal16: return {8, 32, 8, 5, 5, 11, 19};
    case BipolarPalKind::Pal20L8: return {8, 40, 8, 6, 6, 13, 22};
    case BipolarPalKind::Pal20L10: break;
    }
    return {4, 40, 10, 6, 6, 13, 23};
}

BipolarPalChip::BipolarPalChip(const BipolarPalFacts& facts)
    : BipolarFuseChip(facts.name, PinCount(facts.kind),
                    static_cast<uint32_t>(GeometryOf(facts.kind).groups * GeometryOf(facts.kind).columns *
                                          GeometryOf(facts.kind).outputs),
                    PinCount(facts.kind), {PinCount(facts.kind) / 2}),
      part_(facts),
      g_(GeometryOf(facts.kind)) {
    const int outputMax = facts.programTenths + kOutputMarginTenths;
    AllowPin(kModePin, kHighPinMaxTenths);
    AllowPin(g_.enablePin, kHighPinMaxTenths);
    AllowPin(kSecurityPin, kHighPinMaxTenths);
    AllowPin(kSecurityLevelPin, outputMax);
    for (int b = 0; b < g_.outputs; ++b) AllowPin(g_.firstOutputPin - b, outputMax);
}

int BipolarPalChip::Address(const PinEnvironment& env, int first, int count) const {
    int v = 0;
    for (int k = 0; k < count; ++k) v |= Level(env, first + k) << k;
    return v;
}

bool BipolarPalChip::HighVoltage(const PinEnvironment& env, int chipPin) const {
    const int v = Volts(env, chipPin);
    return v >= kHighMinTenths && v <= kHighMaxTenths;
}

bool BipolarPalChip::AtProgramLevel(const PinEnvironment& env, int chipPin) const {
    return Within(Volts(env, chipPin), part_.programTenths, kLevelTolerance);
}

void BipolarPalChip::Step(const PinEnvironment& env) {
    Pulse now;
    if (Powered(env)) {
        const bool security =
            part_.kind != BipolarPalKind::Pal20L10 && HighVoltage(env, kSecurityPin) && AtProgramLevel(env, kSecurityLevelPin);
        if (security) {
            now.security = true;
        } else if (HighVoltage(env, kModePin) && HighVoltage(env, g_.enablePin)) {
            for (int b = 0; b < g_.outputs; ++b)
                if (AtProgramLevel(env, g_.firstOutputPin - b)) now.outputs |= 1u << b;
            if (now.outputs != 0) {
                now.group = Address(env, kGroupPin, 3);
                now.column = Address(env, g_.firstColumnPin, g_.columnPins);
            }
        }
    }
    if (now == pulse_) return;
    const uint64_t width = timer_.Stop(env.NowUs());
    if (width >= kMinimumPulseUs) {
        Took(width);
        if (pulse_.security) {
            Secure();
        } else if (part_.kind == BipolarPalKind::Pal20L10 && pulse_.group == kSecurityGroup &&
                   pulse_.column == kSecurityColumn && pulse_.outputs == 1) {
            Secure();
        } else if (pulse_.group < g_.groups && pulse_.column < g_.columns) {
            for (int b = 0; b < g_.outputs; ++b) {
                if (!((pulse_.outputs >> b) & 1)) continue;
                Blow(CellOf(pulse_.group, pulse_.column, b), width);
            }
        }
    }
    pulse_ = now;
    if (now.security || now.outputs != 0) timer_.Start(env.NowUs());
}

void BipolarFuseChip::Blow(uint32_t n, uint64_t widthUs) {
    Took(widthUs);
    if (pulses_.size() < kLogLimit) {
        pulses_.push_back(n);
        widths_.push_back(widthUs);
    }
    const uint32_t given = ++given_[n];
    const auto need = needed_.find(n);
    if (need != needed_.end() && given < need->second) return;
    WriteCell(n, 0);
}

ChipDrive BipolarPalChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    const int b = g_.firstOutputPin - chipPin;
    if (chipPin == 0 || b < 0 || b >= g_.outputs) return ChipDrive::None;
    if (Volts(env, g_.enablePin) < kHighMinTenths) return ChipDrive::None;
    const int mode = Volts(env, kModePin);
    if (mode < kHighThresholdTenths || mode >= kHighMinTenths) return ChipDrive::None;
    if (Secured()) return ChipDrive::Low;
    const int group = Address(env, kGroupPin, 3);
    const int column = Address(env, g_.firstColumnPin, g_.columnPins);
    if (group >= g_.groups || column >= g_.columns) return ChipDrive::High;
    const uint32_t n = CellOf(group, column, b);
    return Blown(n) ? ChipDrive::Low : ChipDrive::High;
}

} // namespace sim
