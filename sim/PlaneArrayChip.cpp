#include "sim/PlaneArrayChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kStrobePin = 13, kVccPin = 24, kGndPin = 12;
constexpr int kVppTolerance = 3;
constexpr int kVppOnTenths = 100; // a pin this high is at the programming level, not a logic level
constexpr int kPinOverTenths = 7; // ratings: VPP pins up to VPP + 0.7 V
constexpr uint64_t kProgramUs = 100;
constexpr uint64_t kSecureUs = 1000;
constexpr uint64_t kAmdSecureUs = 50000;
constexpr int kAmdSecureVccTenths = 58;
constexpr size_t kLogLimit = 1u << 18;

} // namespace

PlaneArrayChip::PlaneArrayChip(const PlaneArrayFacts& facts)
    : CellArrayChip(facts.name, 24, facts.kind == PlaneArrayKind::Plane320x8Amd ? 2048 : FuseCount(facts.kind), kVccPin,
                    {kGndPin}),
      part_(facts), taken_(CellCount(), 0) {
    const int rating = facts.vppTenths + kPinOverTenths;
    AllowPin(kStrobePin, rating);
    AllowPin(Pins().holdPin, rating);
    AllowPin(Pins().securePin, rating);
}

const PlaneArrayChip::Layout& PlaneArrayChip::Pins() const {
    static const Layout k256x8{8, 3, 5, {21, 20, 19, 18, 17, 16, 15, 14}};
    static const Layout k160x10{10, 1, 3, {23, 22, 21, 20, 19, 18, 17, 16, 15, 14}};
    static const Layout k320x8Samsung{8, 1, 3, {22, 21, 20, 19, 18, 17, 16, 15}};
    static const Layout k320x8Amd{8, 1, 4, {22, 21, 20, 19, 18, 17, 16, 15}};
    switch (part_.kind) {
    case PlaneArrayKind::Plane256x8: return k256x8;
    case PlaneArrayKind::Plane160x10: return k160x10;
    case PlaneArrayKind::Plane320x8Samsung: return k320x8Samsung;
    case PlaneArrayKind::Plane320x8Amd: return k320x8Amd;
    }
    return k256x8;
}

uint32_t PlaneArrayChip::CellOfFuse(uint32_t n) const {
    if (part_.kind != PlaneArrayKind::Plane320x8Amd) return n;
    const uint32_t k = n / 320, row = n % 320 / 40, column = n % 40;
    return k * 256 + row * 32 + column % 32;
}

bool PlaneArrayChip::AtVpp(const PinEnvironment& env, int chipPin) const {
    return Within(Volts(env, chipPin), part_.vppTenths, kVppTolerance);
}

int PlaneArrayChip::CellAtAddress(int row, int column, int k) const {
    switch (part_.kind) {
    case PlaneArrayKind::Plane320x8Samsung: return row < 8 && column < 40 ? k * 320 + row * 40 + column : -1;
    case PlaneArrayKind::Plane320x8Amd: return row < 8 && column < 32 ? k * 256 + row * 32 + column : -1;
    case PlaneArrayKind::Plane256x8: return row < 8 && column < 32 ? k * 256 + row * 32 + column : -1;
    case PlaneArrayKind::Plane160x10: break;
    }
    return row < 4 && column < 40 ? k * 160 + row * 40 + column : -1;
}

int PlaneArrayChip::CellAt(const PinEnvironment& env, int k) const {
    if (part_.kind == PlaneArrayKind::Plane320x8Samsung) {
        const int row = Level(env, 2) | Level(env, 3) << 1 | Level(env, 4) << 2;
        int column = 0;
        for (int b = 0; b < 7; ++b) column |= Level(env, 5 + b) << b;
        return CellAtAddress(row, column, k);
    }
    if (part_.kind == PlaneArrayKind::Plane320x8Amd) {
        const int row = Level(env, 2) | Level(env, 4) << 1 | Level(env, 5) << 2;
        const int column = Level(env, 6) | Level(env, 7) << 1 | Level(env, 8) << 2 | Level(env, 10) << 3 |
                           Level(env, 11) << 4;
        return CellAtAddress(row, column, k);
    }
    if (part_.kind == PlaneArrayKind::Plane256x8) {
        int column = 0, row = 0;
        for (int b = 0; b < 5; ++b) column |= Level(env, 7 + b) << b;
        for (int b = 0; b < 3; ++b) row |= Level(env, 4 + b) << b;
        return CellAtAddress(row, column, k);
    }
    int column = 0;
    for (int b = 0; b < 6; ++b) column |= Level(env, 2 + b) << b;
    const int group = Level(env, 8) | Level(env, 9) << 1;
    return CellAtAddress(group, column, k);
}

void PlaneArrayChip::UvErase() {
    EraseAll();
    std::fill(taken_.begin(), taken_.end(), uint8_t{0});
}

void PlaneArrayChip::Step(const PinEnvironment& env) {
    const Layout& p = Pins();
    const bool powered = Powered(env);
    for (int pin : {kStrobePin, p.holdPin, p.securePin}) {
        if (!powered && Volts(env, pin) >= kVppOnTenths) env.Violation(Name() + ": VPP without VCC and ground");
    }
    const bool strobeLow = powered && Level(env, kStrobePin) == 0 && Volts(env, kStrobePin) < kVppOnTenths;
    if (strobeLow && !strobeLow_) {
        const int vcc = Volts(env, kVccPin);
        readVccLow_ = readVccLow_ == 0 ? vcc : std::min(readVccLow_, vcc);
        readVccHigh_ = std::max(readVccHigh_, vcc);
    }
    strobeLow_ = strobeLow;
    int pulse = 0;
    const bool amd = part_.kind == PlaneArrayKind::Plane320x8Amd;
    if (amd && powered && AtVpp(env, p.securePin) && Volts(env, kVccPin) >= kAmdSecureVccTenths) {
        pulse = 2;
    } else if (powered && AtVpp(env, kStrobePin)) {
        if (AtVpp(env, p.securePin)) {
            if (!amd) pulse = 2;
        } else if (AtVpp(env, p.holdPin)) {
            pulse = 1;
        }
    }
    if (pulse == pulse_) {
        // The word must stay put under the pulse: a changed address or data
        // pin ends it untaken.
        if (pulse != 1) return;
        for (int k = 0; k < p.bits; ++k) {
            const int cell = Level(env, p.dataPins[k]) == 1 ? CellAt(env, k) : -1;
            if (cell != pulseCells_[k]) {
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
    for (int k = 0; k < p.bits; ++k) pulseCells_[k] = Level(env, p.dataPins[k]) == 1 ? CellAt(env, k) : -1;
}

void PlaneArrayChip::EndPulse(uint64_t width) {
    if (pulse_ == 2) {
        if (width >= (part_.kind == PlaneArrayKind::Plane320x8Amd ? kAmdSecureUs : kSecureUs)) Secure();
        return;
    }
    if (pulses_.size() < kLogLimit) pulses_.push_back(width);
    if (width < kProgramUs) return;
    for (int k = 0; k < Pins().bits; ++k) {
        const int cell = pulseCells_[k];
        if (cell < 0) continue;
        const auto n = static_cast<uint32_t>(cell);
        if (taken_[n] < 255) ++taken_[n];
        if (taken_[n] >= needed_) WriteCell(n, 0);
    }
}

ChipDrive PlaneArrayChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin == 0 || Volts(env, kStrobePin) >= kVppOnTenths || Level(env, kStrobePin) != 0) return ChipDrive::None;
    const Layout& p = Pins();
    for (int k = 0; k < p.bits; ++k) {
        if (p.dataPins[k] != chipPin) continue;
        if (Secured()) return ChipDrive::Low;
        const int cell = CellAt(env, k);
        return cell >= 0 && Programmed(static_cast<uint32_t>(cell)) ? ChipDrive::Low : ChipDrive::High;
    }
    return ChipDrive::None;
}

} // namespace sim
