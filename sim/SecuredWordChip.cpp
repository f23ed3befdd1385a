#include "sim/SecuredWordChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kStrobePin = 13, kHoldPin = 1, kRowPlanePin = 5, kColumnBankPin = 11, kVccPin = 24, kGndPin = 12;
constexpr int kVppTolerance = 3;
constexpr int kThirdTolerance = 5;
constexpr int kThirdRatingTenths = 115;
constexpr int kVppOnTenths = 90; // a pin this high is at the third level or VPP, not a logic level
constexpr int kPinOverTenths = 7;
constexpr uint64_t kProgramUs = 100;
constexpr size_t kLogLimit = 1u << 18;
constexpr int kSecurityCell = -2;
constexpr int kControlColumn = 64 + 31;

// The 22V10 map: product terms and output-enable row of output b.
constexpr int kV10Terms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr int kV10OutputEnable[10] = {44, 440, 924, 1496, 2156, 2904, 3652, 4312, 4884, 5368};
constexpr int kV10Preset = 5764, kV10Architecture = 5808;

// The 750 map: product terms, first term and first extra row of output b.
constexpr int k750Terms[10] = {8, 10, 12, 14, 16, 16, 14, 12, 10, 8};
constexpr int k750FirstTerm[10] = {0, 1092, 2352, 3780, 5376, 7140, 8904, 10500, 11928, 13188};
constexpr int k750ExtraRows[10] = {672, 1932, 3360, 4956, 6720, 8484, 10080, 11508, 12768, 13860};
constexpr int k750Shared = 14280, k750Architecture = 14364, k750BArchitecture = 14391;

} // namespace

uint32_t SecuredWordChip::FuseCount(SecuredWordKind kind) {
    switch (kind) {
    case SecuredWordKind::V10: return 5828;
    case SecuredWordKind::V750: return 14394;
    case SecuredWordKind::V750B: return 14435;
    case SecuredWordKind::V750C: return 14364;
    }
    return 0;
}

SecuredWordChip::SecuredWordChip(const SecuredWordFacts& facts)
    : CellArrayChip(facts.name, 24, FuseCount(facts.kind), kVccPin, {kGndPin}), part_(facts),
      taken_(CellCount(), 0) {
    const int rating = facts.vppTenths + kPinOverTenths;
    AllowPin(kStrobePin, rating);
    AllowPin(kHoldPin, rating);
    AllowPin(kRowPlanePin, kThirdRatingTenths);
    if (V750()) AllowPin(kColumnBankPin, kThirdRatingTenths);
}

bool SecuredWordChip::Third(const PinEnvironment& env, int chipPin) const {
    return Within(Volts(env, chipPin), part_.thirdTenths, kThirdTolerance);
}

int SecuredWordChip::Column(const PinEnvironment& env) const {
    int c = 0;
    for (int b = 0; b < 6; ++b) c |= Level(env, 6 + b) << b;
    if (V750() && Third(env, kColumnBankPin)) c = 64 + (c & 31);
    return c;
}

int SecuredWordChip::CellAt(const PinEnvironment& env, int k) const {
    const int c = Column(env);
    const bool upper = Third(env, kRowPlanePin);
    int r = Level(env, 2) | Level(env, 3) << 1 | Level(env, 4) << 2;
    if (!upper) r |= Level(env, kRowPlanePin) << 3;
    return CellOf(upper, r, c, k);
}

int SecuredWordChip::CellOf(bool upper, int r, int c, int k) const {
    if (k < 0 || k > 9) return -1;
    if (!V750()) {
        const int b = 9 - k;
        if (!upper) return c < 44 && kV10Terms[b] > r ? kV10OutputEnable[b] + 44 + 44 * r + c : -1;
        if (r == 0 && c < 44) return kV10OutputEnable[b] + c;
        if ((r == 1 || r == 2) && c == 63) return kV10Architecture + 2 * b + (r - 1);
        if (r == 3 && c < 44) return k == 8 ? c : k == 1 ? kV10Preset + c : -1;
        if (r == 5 && c == 63 && k == 8) return kSecurityCell;
        return -1;
    }
    const int b = k;
    if (c == kControlColumn) {
        if (r == 3) return k == 1 ? kSecurityCell : -1;
        if (upper || part_.kind == SecuredWordKind::V750C) return -1;
        if (r == 0 || r == 1) return k750Architecture + 3 * b + r;
        const bool plain = part_.kind == SecuredWordKind::V750;
        if ((r == 2 && !plain) || (r == 14 && plain)) return k750Architecture + 3 * b + 2;
        if (r >= 4 && r <= 7 && part_.kind == SecuredWordKind::V750B) return k750BArchitecture + 4 * b + r;
        return -1;
    }
    if (c >= 84) return -1;
    if (!upper) return k750Terms[b] > r ? k750FirstTerm[b] + 84 * r + c : -1;
    if (r <= 4) return k750ExtraRows[b] + 84 * r + c;
    if (r == 7 && k == 1) return k750Shared + c;
    return -1;
}

void SecuredWordChip::UvErase() {
    EraseAll();
    std::fill(taken_.begin(), taken_.end(), uint8_t{0});
    securityTaken_ = 0;
}

void SecuredWordChip::Step(const PinEnvironment& env) {
    const bool powered = Powered(env);
    for (int pin : {kStrobePin, kHoldPin, kRowPlanePin, kColumnBankPin}) {
        if (!powered && Volts(env, pin) >= kVppOnTenths) env.Violation(Name() + ": VPP without VCC and ground");
    }
    if (powered && !powered_) poweredAtUs_ = env.NowUs();
    powered_ = powered;
    const bool held = powered && Volts(env, kHoldPin) >= kVppOnTenths;
    if (held && !held_) holdAfterPowerUs_ = env.NowUs() - poweredAtUs_;
    held_ = held;
    const bool pulse = powered && Within(Volts(env, kStrobePin), part_.vppTenths, kVppTolerance) &&
                       Within(Volts(env, kHoldPin), part_.vppTenths, kVppTolerance);
    if (pulse == pulsing_) {
        if (!pulse) return;
        for (int k = 0; k < 10; ++k) {
            const int cell = Level(env, DataPin(k)) == 1 ? CellAt(env, k) : -1;
            if (cell != pulseCells_[k]) { // the word changed under the pulse: not taken
                timer_.Stop(env.NowUs());
                pulsing_ = false;
                return;
            }
        }
        return;
    }
    if (pulsing_ && timer_.Running()) EndPulse(timer_.Stop(env.NowUs()));
    pulsing_ = pulse;
    if (!pulse) return;
    timer_.Start(env.NowUs());
    pulseAtControl_ = V750() && Column(env) == kControlColumn;
    for (int k = 0; k < 10; ++k) pulseCells_[k] = Level(env, DataPin(k)) == 1 ? CellAt(env, k) : -1;
}

void SecuredWordChip::EndPulse(uint64_t width) {
    if (pulses_.size() < kLogLimit) pulses_.push_back(width);
    if (width < kProgramUs) return;
    if (pulseAtControl_) ++controlPulses_;
    for (int cell : pulseCells_) {
        if (cell == kSecurityCell) {
            if (++securityTaken_ >= needed_) Secure();
            continue;
        }
        if (cell < 0) continue;
        const auto n = static_cast<uint32_t>(cell);
        if (taken_[n] < 255) ++taken_[n];
        if (taken_[n] >= needed_) WriteCell(n, 0);
    }
}

ChipDrive SecuredWordChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin < 14 || chipPin > 23 || Volts(env, kStrobePin) >= kVppOnTenths || Level(env, kStrobePin) != 0)
        return ChipDrive::None;
    if (Secured()) return ChipDrive::Low;
    const int cell = CellAt(env, V750() ? 23 - chipPin : chipPin - 14);
    return cell >= 0 && Programmed(static_cast<uint32_t>(cell)) ? ChipDrive::Low : ChipDrive::High;
}

} // namespace sim
