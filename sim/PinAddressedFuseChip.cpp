#include "sim/PinAddressedFuseChip.h"

namespace sim {

namespace {

constexpr int kRaisedTenths = 95;
constexpr int kLevelTolerance = 5;
constexpr uint64_t kClockedPulseUs = 10;
constexpr uint64_t kStrobeUs = 30;
constexpr int kClockPin = 1, kProgramPin = 1;
constexpr int kSecurity = -2;
// Ratings: address, select and output pins take the programming supply, VCC
// its pulse level, the ground kinds' programming pin and row bit-0 pin (the
// security address) the programming level.
constexpr int kPinMaxTenths = 120;
constexpr int kVccMaxTenths = 110;
constexpr int kProgramPinMaxTenths = 160;

constexpr int kGround289Columns[6] = {9, 12, 13, 14, 15, 16};
constexpr int kGround290Columns[6] = {9, 10, 11, 14, 15, 16};

int PinsOf(PinAddressedKind kind) { return PinAddressedFuseChip::Dip24(kind) ? 24 : 20; }

} // namespace

PinAddressedFuseChip::PinAddressedFuseChip(const PinAddressedFacts& facts)
    : BipolarFuseChip(facts.name, PinsOf(facts.kind), FuseCount(facts.kind), PinsOf(facts.kind), {PinsOf(facts.kind) / 2}),
      part_(facts),
      columns_(Dip24(facts.kind) ? 40 : 32) {
    const int pins = PinsOf(facts.kind);
    for (int p = 1; p <= pins; ++p) {
        if (p == pins / 2) continue;
        AllowPin(p, p == pins ? kVccMaxTenths : Ground() && p <= 2 ? kProgramPinMaxTenths : kPinMaxTenths);
    }
}

int PinAddressedFuseChip::Trit(const PinEnvironment& env, int chipPin) const {
    if (Volts(env, chipPin) >= kRaisedTenths) return 2;
    return Level(env, chipPin);
}

bool PinAddressedFuseChip::InWindow(int tenths) const { return Within(tenths, part_.levelTenths, kLevelTolerance); }

int PinAddressedFuseChip::OutputPin(int k) const { return (Dip24(part_.kind) ? 22 : 19) - k; }

int PinAddressedFuseChip::RowCode(const PinEnvironment& env) const {
    switch (part_.kind) {
    case PinAddressedKind::Code281: {
        int r = 0;
        for (int b = 0; b < 3; ++b) {
            const int t = Trit(env, 6 + b);
            if (t == 2) return -1;
            r |= t << b;
        }
        return r;
    }
    case PinAddressedKind::Code282: return Trit(env, 7) * 3 + Trit(env, 8);
    case PinAddressedKind::Code286: return Trit(env, 9) * 3 + Trit(env, 10);
    case PinAddressedKind::Bin313: {
        int r = 0;
        for (int b = 0; b < 3; ++b) {
            const int t = Trit(env, 10 - b);
            if (t == 2) return -1;
            r |= t << b;
        }
        return r;
    }
    case PinAddressedKind::Ground289:
    case PinAddressedKind::Ground290: {
        int r = 0;
        for (int b = 0; b < 7; ++b) r |= Level(env, 2 + b) << b;
        return r;
    }
    }
    return -1;
}

int PinAddressedFuseChip::Column(const PinEnvironment& env) const {
    switch (part_.kind) {
    case PinAddressedKind::Code281: {
        static constexpr int kPairs[3][3] = {{0, 2, 4}, {1, 3, 5}, {6, 7, -1}}; // [pin 4][pin 5]
        const int a = Trit(env, 2), b = Trit(env, 3);
        const int high = kPairs[Trit(env, 4)][Trit(env, 5)];
        if (a == 2 || b == 2 || high < 0) return -1;
        return a | b << 1 | high << 2;
    }
    case PinAddressedKind::Code282:
    case PinAddressedKind::Code286: {
        int c = 0;
        for (int p = 2; p <= 5; ++p) c = c * 3 + Trit(env, p);
        return c;
    }
    case PinAddressedKind::Bin313: {
        int c = 0;
        for (int b = 0; b < 6; ++b) {
            const int t = Trit(env, 7 - b);
            if (t == 2) return -1;
            c |= t << b;
        }
        return c;
    }
    case PinAddressedKind::Ground289:
    case PinAddressedKind::Ground290: {
        const int* pins = part_.kind == PinAddressedKind::Ground289 ? kGround289Columns : kGround290Columns;
        int c = 0;
        for (int b = 0; b < 6; ++b) c |= Level(env, pins[b]) << b;
        return c;
    }
    }
    return -1;
}

void PinAddressedFuseChip::Step(const PinEnvironment& env) {
    if (Ground()) {
        StepGround(env);
    } else {
        StepClocked(env);
    }
}

void PinAddressedFuseChip::StepClocked(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const bool dip24 = Dip24(part_.kind);
    const int select = dip24 ? 11 : 9, enable = dip24 ? 13 : 11, vcc = dip24 ? 24 : 20;
    const bool powered = Powered(env);
    const bool selected = powered && Volts(env, select) >= kRaisedTenths;
    // The pulse: enable high, VCC at the pulse level, one output raised (or the security address).
    int pulse = -1;
    const int enableVolts = Volts(env, enable);
    if (selected && enableVolts >= kHighThresholdTenths && enableVolts < kRaisedTenths && InWindow(Volts(env, vcc))) {
        int raised = -1, count = 0;
        for (int k = 0; k < 8; ++k) {
            if (Volts(env, OutputPin(k)) >= kRaisedTenths) {
                raised = k;
                ++count;
            }
        }
        const int row = RowCode(env), column = Column(env);
        switch (part_.kind) {
        case PinAddressedKind::Code281:
            if (count == 0 && Trit(env, 4) == 2 && Volts(env, 6) >= kRaisedTenths) pulse = kSecurity;
            break;
        case PinAddressedKind::Code282:
        case PinAddressedKind::Code286:
            if (count == 1 && raised == 6 && row == 8 && column == 0) pulse = kSecurity;
            break;
        case PinAddressedKind::Bin313:
            if (count == 0 && Volts(env, 10) >= kRaisedTenths && Column(env) == 63) pulse = kSecurity;
            break;
        default: break;
        }
        if (pulse == -1 && count == 1 && row >= 0 && row < 8 && column >= 0 && column < columns_)
            pulse = static_cast<int>(CellOf(raised * 8 + row, column));
    }
    if (pulse != pulse_) {
        const uint64_t width = timer_.Stop(now);
        if (width >= kClockedPulseUs) {
            if (pulse_ == kSecurity) {
                Took(width);
                Secure();
            } else if (pulse_ >= 0) {
                Blow(static_cast<uint32_t>(pulse_), width);
            }
        }
        pulse_ = pulse;
        if (pulse != -1) timer_.Start(now);
    }
    // The read clock latches the addressed cell of every output.
    const int clockVolts = Volts(env, kClockPin);
    const bool clock = clockVolts >= kHighThresholdTenths && clockVolts < kRaisedTenths;
    const bool rise = clock && !clockHigh_;
    clockHigh_ = clock;
    if (!selected) {
        latched_ = false;
        return;
    }
    if (!rise) return;
    const int row = RowCode(env), column = Column(env);
    latched_ = row >= 0 && row < 8 && column >= 0 && column < columns_;
    latchedBlown_ = 0;
    for (int k = 0; k < 8 && latched_; ++k) {
        const bool blown = Secured() ? part_.kind != PinAddressedKind::Code281
                                     : BlownAt(k * 8 + row, column);
        if (blown) latchedBlown_ |= 1u << k;
    }
}

void PinAddressedFuseChip::StepGround(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    const bool g289 = part_.kind == PinAddressedKind::Ground289;
    const int strobe = g289 ? 11 : 13, enable = g289 ? 19 : 23;
    int pulse = -1;
    if (Powered(env) && env.HeldLow(SocketOf(strobe)) && !env.HeldLow(SocketOf(enable))) {
        const int row = RowCode(env), column = Column(env);
        if (InWindow(Volts(env, kProgramPin)) && Volts(env, 2) < kRaisedTenths && row < 64 && column < columns_) {
            pulse = static_cast<int>(CellOf(row, column));
        } else if (InWindow(Volts(env, 2)) && Volts(env, kProgramPin) < kRaisedTenths && (row >> 1) == 36 && column == 1) {
            pulse = kSecurity;
        }
    }
    if (pulse == pulse_) return;
    const uint64_t width = timer_.Stop(now);
    if (width >= kStrobeUs) {
        if (pulse_ == kSecurity) {
            Took(width);
            Secure();
        } else if (pulse_ >= 0) {
            Blow(static_cast<uint32_t>(pulse_), width);
        }
    }
    pulse_ = pulse;
    if (pulse != -1) timer_.Start(now);
}

ChipDrive PinAddressedFuseChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    if (chipPin == 0 || Volts(env, chipPin) >= kRaisedTenths) return ChipDrive::None;
    if (Ground()) {
        const bool g289 = part_.kind == PinAddressedKind::Ground289;
        if (chipPin != (g289 ? 18 : 22)) return ChipDrive::None;
        if (!env.HeldLow(SocketOf(g289 ? 11 : 13)) || !env.HeldLow(SocketOf(g289 ? 19 : 23))) return ChipDrive::None;
        const int row = RowCode(env), column = Column(env);
        if (Secured()) return ChipDrive::High;
        if (row >= 64 || column >= columns_) return ChipDrive::Low;
        return BlownAt(row, column) ? ChipDrive::High : ChipDrive::Low;
    }
    if (!latched_) return ChipDrive::None;
    for (int k = 0; k < 8; ++k)
        if (OutputPin(k) == chipPin) return ((latchedBlown_ >> k) & 1) ? ChipDrive::Low : ChipDrive::High;
    return ChipDrive::None;
}

} // namespace sim
