#include "sim/ParallelPldChip.h"

namespace sim {

namespace {

constexpr int kPinCount = 24, kVccPin = 24, kGndPin = 12;
constexpr size_t kLogLimit = 1u << 16;

// Nibble part: socket pins (chip pin + 12).
constexpr int kNibbleData[4] = {26, 27, 28, 29};
constexpr int kNibbleAddress[6] = {23, 22, 21, 20, 19, 18};
constexpr int kNibbleSelect[5] = {25, 30, 31, 32, 33};
constexpr int kNibblePulse = 16, kNibbleEnable = 17, kNibbleBias = 15;
constexpr int kNibbleBiasTenths = 130, kNibbleTolerance = 2;
constexpr uint64_t kNibblePulseUs = 10000;

// Ten-bit part.
constexpr int kTenData[10] = {26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
constexpr int kTenAddress[6] = {14, 15, 16, 17, 18, 19};
constexpr int kTenSelect[4] = {20, 21, 22, 23};
constexpr int kTenProgram = 25, kTenBias = 13, kTenPage = 23, kTenSecure = 15;
constexpr int kTenLevelTenths = 125, kTenTolerance = 3;
constexpr uint64_t kTenPulseUs = 400, kTenSecureUs = 1000;
// A pin this high on an unpowered part is a violation.
constexpr int kUnpoweredHighTenths = 100;
constexpr int kHighPinMaxTenths = 140;

} // namespace

// --- NibblePldChip

NibblePldChip::NibblePldChip(const ParallelPldFacts& facts)
    : CellArrayChip(facts.name, kPinCount, static_cast<uint32_t>(kSelects * kAddresses * 4), kVccPin, {kGndPin}) {
    AllowPin(kNibbleBias - 12, kHighPinMaxTenths);
}

int NibblePldChip::Word(int select, int address) const {
    int v = 0;
    for (int bit = 0; bit < 4; ++bit) v |= Cell(CellOf(select, address, bit)) << bit;
    return v;
}

bool NibblePldChip::BiasOn(const PinEnvironment& env) const {
    return Within(Volts(env, kNibbleBias - 12), kNibbleBiasTenths, kNibbleTolerance);
}

void NibblePldChip::Update(const PinEnvironment& env) {
    const bool powered = Powered(env);
    if (!powered && Volts(env, kNibbleBias - 12) >= kUnpoweredHighTenths)
        env.Violation(Name() + ": 13.0 V on pin 15 without VCC and ground");
    if (!powered) {
        pulseLow_ = false;
        pulse_.Stop(env.NowUs());
        return;
    }
    const bool low = At(env, kNibblePulse) == 0;
    if (low && At(env, kNibbleEnable) == 0) env.Violation(Name() + ": program and output enable low together");
    if (low && !pulseLow_) pulse_.Start(env.NowUs());
    if (!low && pulseLow_) {
        const uint64_t width = pulse_.Stop(env.NowUs());
        int select = 0, address = 0, lines = 0;
        for (int i = 0; i < 5; ++i) select |= At(env, kNibbleSelect[i]) << i;
        for (int i = 0; i < 6; ++i) address |= At(env, kNibbleAddress[i]) << i;
        for (int i = 0; i < 4; ++i) lines |= At(env, kNibbleData[i]) << i;
        if (width < kNibblePulseUs) {
            env.Violation(Name() + ": program pulse shorter than 10 ms");
        } else if (!BiasOn(env)) {
            env.Violation(Name() + ": program pulse without 13.0 V on pin 15");
        } else {
            if (writes_.size() < kLogLimit) writes_.push_back({select, address, lines, width});
            for (int bit = 0; bit < 4; ++bit) WriteCell(CellOf(select, address, bit), (lines >> bit) & 1);
        }
    }
    pulseLow_ = low;
}

ChipDrive NibblePldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    int bit = -1;
    for (int i = 0; i < 4; ++i)
        if (kNibbleData[i] == socketPin) bit = i;
    if (bit < 0 || At(env, kNibbleEnable) != 0 || At(env, kNibblePulse) == 0) return ChipDrive::None;
    if (Locked()) return ChipDrive::High;
    int select = 0, address = 0;
    for (int i = 0; i < 5; ++i) select |= At(env, kNibbleSelect[i]) << i;
    for (int i = 0; i < 6; ++i) address |= At(env, kNibbleAddress[i]) << i;
    return (Word(select, address) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

// --- TenBitPldChip

TenBitPldChip::TenBitPldChip(const ParallelPldFacts& facts)
    : CellArrayChip(facts.name, kPinCount, static_cast<uint32_t>(2 * kSelects * kAddresses * 10), kVccPin,
                    {kGndPin}) {
    for (int pin : {kTenBias, kTenSecure, kTenPage, kTenProgram}) AllowPin(pin - 12, kHighPinMaxTenths);
}

int TenBitPldChip::Word(bool highPage, int select, int address) const {
    int v = 0;
    for (int bit = 0; bit < 10; ++bit) v |= Cell(CellOf(highPage, select, address, bit)) << bit;
    return v;
}

bool TenBitPldChip::High(const PinEnvironment& env, int socketPin) const {
    return Within(VoltsAt(env, socketPin), kTenLevelTenths, kTenTolerance);
}

void TenBitPldChip::Update(const PinEnvironment& env) {
    const bool powered = Powered(env);
    if (!powered && VoltsAt(env, kTenProgram) >= kUnpoweredHighTenths)
        env.Violation(Name() + ": 12.5 V on pin 25 without VCC and ground");
    const bool high = powered && High(env, kTenProgram);
    if (high && !pulseHigh_) {
        pulse_.Start(env.NowUs());
        securing_ = High(env, kTenSecure);
    }
    if (!high && pulseHigh_) PulseEnded(env, pulse_.Stop(env.NowUs()));
    pulseHigh_ = high;
}

void TenBitPldChip::PulseEnded(const PinEnvironment& env, uint64_t width) {
    if (!Powered(env)) return;
    if (!High(env, kTenBias)) {
        env.Violation(Name() + ": program pulse without 12.5 V on pin 13");
        return;
    }
    if (securing_) {
        if (width >= kTenSecureUs && !ignoreSecurity_) locked_ = true;
        return;
    }
    if (width < kTenPulseUs) {
        env.Violation(Name() + ": program pulse shorter than 400 us");
        return;
    }
    const bool page = High(env, kTenPage);
    int select = 0, address = 0, lines = 0;
    for (int i = 0; i < (page ? 3 : 4); ++i) select |= At(env, kTenSelect[i]) << i;
    for (int i = 0; i < 6; ++i) address |= At(env, kTenAddress[i]) << i;
    for (int i = 0; i < 10; ++i) lines |= At(env, kTenData[i]) << i;
    if (pulses_.size() < kLogLimit) pulses_.push_back({page, select, address, lines, width});
    const auto key = std::make_tuple(page, select, address);
    const auto need = needed_.find(key);
    if (++taken_[key] < (need == needed_.end() ? 1 : need->second)) return;
    for (int bit = 0; bit < 10; ++bit)
        if ((lines >> bit) & 1) WriteCell(CellOf(page, select, address, bit), 0);
}

ChipDrive TenBitPldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    int bit = -1;
    for (int i = 0; i < 10; ++i)
        if (kTenData[i] == socketPin) bit = i;
    if (bit < 0 || At(env, kTenProgram) != 0 || !High(env, kTenBias)) return ChipDrive::None;
    if (locked_) return ChipDrive::Low;
    const bool page = High(env, kTenPage);
    int select = 0, address = 0;
    for (int i = 0; i < (page ? 3 : 4); ++i) select |= At(env, kTenSelect[i]) << i;
    for (int i = 0; i < 6; ++i) address |= At(env, kTenAddress[i]) << i;
    return (Word(page, select, address) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
