#include "sim/MuxOtpChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr int kBus[8] = {12, 13, 14, 15, 16, 17, 18, 19};
constexpr int kHigh[8] = {36, 37, 38, 39, 40, 41, 42, 43};
constexpr int kAle = 20, kOutputEnable = 21, kProgram = 22;
constexpr int kModePin = 11, kPulsePin = 29;
constexpr uint32_t kSecurityAddress = 0x1F;

uint8_t Lines(const PinEnvironment& env, const int* pins) {
    uint8_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<uint8_t>(env.InputLevel(pins[i]) == 1) << i;
    return v;
}

} // namespace

MuxOtpChip::MuxOtpChip(const MuxOtpFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(40);
    cells_.assign(facts_.words, static_cast<uint8_t>(facts_.blank));
}

ChipPinLimits MuxOtpChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    if (facts_.modePin) l.Allow(kModePin, facts_.mode.maxTenths);
    if (!facts_.strobe) l.Allow(kPulsePin, facts_.mode.maxTenths);
    l.Allow(facts_.vppPin, facts_.vppLimitTenths);
    return l;
}

bool MuxOtpChip::InMode(const PinEnvironment& env) const {
    return facts_.vcc.Holds(env.VoltageTenths(44)) && env.HeldLow(24) &&
           (!facts_.modePin || facts_.mode.Holds(env.VoltageTenths(kModePin)));
}

uint32_t MuxOtpChip::Address(const PinEnvironment& env) const {
    return static_cast<uint32_t>(Lines(env, kHigh)) << 8 | low_;
}

ChipDrive MuxOtpChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!InMode(env) || env.InputLevel(kOutputEnable) != 0 || pulsing_) return ChipDrive::None;
    int bit = -1;
    for (int i = 0; i < 8; ++i) {
        if (kBus[i] == socketPin) bit = i;
    }
    if (bit < 0) return ChipDrive::None;
    const uint32_t a = Address(env);
    uint8_t v;
    if (facts_.strobe && facts_.modePin && SecuritySelected(env) && a == kSecurityAddress) {
        v = security_;
    } else if (a < cells_.size()) {
        v = cells_[a];
    } else {
        return ChipDrive::None;
    }
    return (v >> bit & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

void MuxOtpChip::StartPulse(const PinEnvironment& env) {
    pulsing_ = true;
    pulseAddress_ = Address(env);
    securityPulse_ = facts_.strobe && facts_.modePin && SecuritySelected(env) && pulseAddress_ == kSecurityAddress;
    pulseData_ = Lines(env, kBus);
    pulseStart_ = env.NowUs();
    if (env.InputLevel(kOutputEnable) == 0 || env.InputLevel(kAle) == 1)
        env.Violation(facts_.name + ": programming pulse while the bus is not presenting data");
    if (!securityPulse_ && pulseAddress_ >= cells_.size())
        env.Violation(facts_.name + ": programming pulse past the code array at " + std::to_string(pulseAddress_));
}

void MuxOtpChip::EndPulse(const PinEnvironment& env) {
    pulsing_ = false;
    const uint64_t width = env.NowUs() - pulseStart_;
    ++pulses_;
    ++pulsesAt_[pulseAddress_];
    widths_[pulseAddress_].push_back(width);
    if (width < facts_.minPulseUs || static_cast<int64_t>(pulseAddress_) == stuck_) return;
    if (auto it = needed_.find(pulseAddress_); it != needed_.end() && ++taken_[pulseAddress_] < it->second) return;
    uint8_t& cell = securityPulse_ ? security_ : cells_[pulseAddress_ < cells_.size() ? pulseAddress_ : 0];
    if (!securityPulse_ && pulseAddress_ >= cells_.size()) return;
    cell = facts_.blank == 0 ? static_cast<uint8_t>(cell | pulseData_) : static_cast<uint8_t>(cell & pulseData_);
}

void MuxOtpChip::SuppliesChanged(const PinEnvironment& env) { Update(env); }

void MuxOtpChip::Update(const PinEnvironment& env) {
    if (!InMode(env)) {
        pulsing_ = pulseLevel_ = aleHigh_ = false;
        return;
    }
    const bool ale = env.InputLevel(kAle) == 1;
    if (!ale && aleHigh_) low_ = Lines(env, kBus);
    aleHigh_ = ale;
    const bool strobe = facts_.strobe ? env.InputLevel(kProgram) == 0
                                      : env.VoltageTenths(kPulsePin) >= facts_.mode.minTenths;
    const bool level = strobe && env.VoltageTenths(facts_.vppPin) >= facts_.vppMinTenths;
    if (level && !pulseLevel_) StartPulse(env);
    if (!level && pulseLevel_ && pulsing_) EndPulse(env);
    // The byte last on the bus while the pulse lasts is the one programmed.
    if (pulsing_ && env.InputLevel(kOutputEnable) == 1) pulseData_ = Lines(env, kBus);
    pulseLevel_ = level;
}

// ---- the parts ------------------------------------------------------------------------

namespace {

// No programming datasheet was found for a part with this bus: the pin-out,
// the mode and pulse voltages and the security byte are those the rows use.
MuxOtpFacts Part(const char* name, uint32_t bytes, bool strobe, VoltageWindow mode, uint16_t blank = 0x00) {
    MuxOtpFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 40;
    f.words = bytes;
    f.blank = blank;
    f.vcc = {45, 65};
    f.vccPin = 40;
    f.gndPins = {20};
    f.strobe = strobe;
    f.mode = mode;
    f.note = "pin-out, mode and pulse voltages, pulse width and the security byte assumed from the algorithm rows";
    f.followsRow = true;
    return f;
}

// Blank at FFh, no mode pin, the programming voltage on pin 9 for pulses of
// 1 ms.
MuxOtpFacts Eprom109(const char* name) {
    MuxOtpFacts f = Part(name, 0x4000, true, {0, 0}, 0xFF);
    f.modePin = false;
    f.vppPin = 9;
    f.minPulseUs = 1000;
    return f;
}

} // namespace

void AddMuxOtpParts(std::vector<CatalogPart>& parts) {
    for (const MuxOtpFacts& f : {Part("OTPBUS-4K", 0x1000, false, {175, 185}),
                                 Part("OTPBUS-4K-23V", 0x1000, false, {225, 235}),
                                 Part("OTPBUS-8K-S", 0x2000, true, {120, 135}), Eprom109("OTPBUS-16K-FF")})
        parts.push_back(ChipPart<MuxOtpChip>(f.maker, f));
}

SIM_CATALOG_FAMILY(AddMuxOtpParts);

} // namespace sim
