#include "sim/PicParallelChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kVihTenths = 40;        // MCLR high enough for the 16-bit parts' test mode
constexpr uint32_t kConfigBase16 = 0xFE00;
constexpr uint32_t kConfigWord12 = 0xFFF;

} // namespace

PicParallelChip::PicParallelChip(PicFacts facts, std::vector<int> socketPins)
    : PicModelBase(std::move(facts), std::move(socketPins)) {
    code_.assign(std::max<uint32_t>(facts_.codeWords, 1), Mask());
    UvErase();
}

bool PicParallelChip::IsBlank() const {
    return std::all_of(code_.begin(), code_.end(), [this](uint32_t w) { return w == Mask(); }) &&
           Config() == Mask() && std::all_of(std::begin(ids_), std::end(ids_), [this](uint32_t w) { return w == Mask(); });
}

void PicParallelChip::UvErase() {
    std::fill(code_.begin(), code_.end(), Mask());
    for (uint32_t& id : ids_) id = Mask();
    config_ = Mask();
    counted_.clear();
    overprogram_.Clear();
    configProgrammed_ = 0;
}

int PicParallelChip::PulsesOn(uint32_t a) const {
    auto it = counted_.find(a);
    return it == counted_.end() ? 0 : it->second;
}

bool PicParallelChip::BusHeld(const PinEnvironment& env) const {
    return std::all_of(facts_.pin.bus.begin(), facts_.pin.bus.end(),
                       [&](int p) { return env.VoltageTenths(S(p)) >= 0; });
}

uint32_t PicParallelChip::BusValue(const PinEnvironment& env) const {
    uint32_t v = 0;
    for (size_t i = 0; i < facts_.pin.bus.size(); ++i) {
        v |= static_cast<uint32_t>(env.InputLevel(S(facts_.pin.bus[i]))) << i;
    }
    return v;
}

bool PicParallelChip::EntryPins(const PinEnvironment& env) const {
    const PicPinout& pin = facts_.pin;
    if (!std::all_of(pin.modeHigh.begin(), pin.modeHigh.end(), [&](int p) { return env.HeldHigh(S(p)); })) return false;
    if (!std::all_of(pin.modeLow.begin(), pin.modeLow.end(), [&](int p) { return env.HeldLow(S(p)); })) return false;
    if (pin.entryCode == 0) return true;
    // The code on the bus's high byte (the low byte floats).
    uint32_t code = 0;
    for (size_t i = 8; i < pin.bus.size() && i < 16; ++i) {
        if (env.VoltageTenths(S(pin.bus[i])) < 0) return false;
        code |= static_cast<uint32_t>(env.InputLevel(S(pin.bus[i]))) << (i - 8);
    }
    return code == pin.entryCode;
}

void PicParallelChip::Leave() {
    inMode_ = false;
    driving_ = false;
    pulsing_ = false;
    loaded_ = false;
    phase_ = 0;
}

void PicParallelChip::Update(const PinEnvironment& env) {
    const PicPinout& pin = facts_.pin;
    const bool vddUp = VddUp(env);
    const int mclr = env.VoltageTenths(S(pin.mclr));
    if (mclr > facts_.vihhMaxTenths && !overReported_)
        env.Violation(facts_.name + ": MCLR at " + std::to_string(mclr) + " tenths, above VPP");
    overReported_ = mclr > facts_.vihhMaxTenths;
    // A floating input keeps its last level: only a held level is an edge.
    auto level = [&](int chipPin, bool last) {
        return env.HeldHigh(S(chipPin)) ? true : env.HeldLow(S(chipPin)) ? false : last;
    };
    const bool clockHigh = level(pin.clock, lastClockHigh_);
    const bool pulseHigh = level(pin.pulse, lastPulseHigh_);
    const bool window = Sixteen() ? mclr >= kVihTenths && mclr <= facts_.vihhMaxTenths
                                  : mclr >= facts_.vihhMinTenths && mclr <= facts_.vihhMaxTenths;
    if (!vddUp || !window) {
        if (inMode_) Leave();
        refused_ = false;
    } else if (!inMode_ && !refused_) {
        // 12-bit parts: OSC1 held high as MCLR rose selects another mode;
        // 16-bit parts: the mode pins and code select the programming mode.
        const bool ok = Sixteen() ? EntryPins(env) : !lastClockHigh_;
        if (ok) {
            inMode_ = true;
            pc_ = Sixteen() ? 0 : kConfigWord12;
            lastClockHigh_ = clockHigh;
            lastPulseHigh_ = pulseHigh;
        } else {
            refused_ = true;
        }
    }
    if (inMode_) {
        if (Sixteen()) {
            Update16(env, clockHigh, pulseHigh);
        } else {
            Update12(env, clockHigh, pulseHigh);
        }
    }
    lastClockHigh_ = clockHigh;
    lastPulseHigh_ = pulseHigh;
}

void PicParallelChip::Update12(const PinEnvironment& env, bool clockHigh, bool pulseHigh) {
    if (clockHigh && !lastClockHigh_) driving_ = true;
    if (!clockHigh && lastClockHigh_) {
        driving_ = !pulseHigh && !pulsing_; // a verify in progress keeps its output
        pc_ = (pc_ + 1) & 0xFFF;
    }
    if (!pulseHigh && lastPulseHigh_) {
        if (BusHeld(env)) {
            pulsing_ = true;
            pulseStart_ = env.NowUs();
            latch_ = BusValue(env) & 0xFFF;
        } else {
            driving_ = true; // verify: the word at the counter while T0CKI is low
        }
    }
    if (pulseHigh && !lastPulseHigh_) {
        if (pulsing_) Program(env, env.NowUs() - pulseStart_);
        pulsing_ = false;
        driving_ = clockHigh;
    }
}

void PicParallelChip::Update16(const PinEnvironment& env, bool clockHigh, bool pulseHigh) {
    if (pulseHigh && !lastPulseHigh_ && BusHeld(env)) {
        pulsing_ = true;
        pulseStart_ = env.NowUs();
        latch_ = BusValue(env) & 0xFFFF;
    }
    if (!pulseHigh && lastPulseHigh_ && pulsing_) {
        pulsing_ = false;
        Program(env, env.NowUs() - pulseStart_);
    }
    if (!clockHigh || lastClockHigh_) return;
    if (!loaded_) {
        pc_ = BusValue(env) & 0xFFFF;
        loaded_ = true;
        phase_ = 0;
        return;
    }
    if (pulseHigh) { // the verify after programming: the cycle starts again
        phase_ = 0;
        driving_ = false;
        return;
    }
    phase_ = (phase_ + 1) % 3;
    driving_ = phase_ == 1;
    if (phase_ == 0) pc_ = (pc_ + 1) & 0xFFFF;
}

uint32_t PicParallelChip::ReadAt() const {
    const auto a = static_cast<uint32_t>(pc_);
    if (Sixteen()) {
        if (a >= kConfigBase16 && a < kConfigBase16 + 16) {
            return 0xFF00 | ((a < kConfigBase16 + 8 ? Config() : Config() >> 8) & 0xFF);
        }
    } else {
        if (a == kConfigWord12) return Config();
        if (a >= code_.size()) return a - code_.size() < 4 ? ids_[a - code_.size()] : Mask();
    }
    if (a >= code_.size()) return Mask();
    const uint32_t w = code_[a];
    return Protected() ? (w ^ (w >> 5) ^ 0x5A5) & Mask() : w;
}

void PicParallelChip::Program(const PinEnvironment& env, uint64_t widthUs) {
    if (widthUs < facts_.minPulseUs) return;
    // 16-bit parts read in test mode at VDD level; programming needs VPP.
    const int mclr = env.VoltageTenths(S(facts_.pin.mclr));
    if (mclr < facts_.vihhMinTenths || mclr > facts_.vihhMaxTenths) return;
    ++pulses_;
    const auto a = static_cast<uint32_t>(pc_);
    const int count = ++counted_[a];
    if (stuck_.count(a) != 0) return;
    overprogram_.Pulse(a, widthUs, overprogram_.HasTaken(a));
    // Configuration cells take only after their programming time.
    const bool config = Sixteen() ? a >= kConfigBase16 && a < kConfigBase16 + 16 : a == kConfigWord12;
    if (config && overprogram_.TotalUs(a) < uint64_t{facts_.configPulses} * facts_.minPulseUs) return;
    auto it = needed_.find(a);
    if (count < (it == needed_.end() ? facts_.pulsesNeeded : it->second)) return;
    overprogram_.Took(a, count);
    if (Sixteen() && a >= kConfigBase16 && a < kConfigBase16 + 16) {
        const uint32_t bit = 1u << (a - kConfigBase16);
        configProgrammed_ |= bit;
        if ((latch_ & 1) == 0 && (configRefused_ & bit) == 0) config_ &= ~bit;
        return;
    }
    if (!Sixteen() && a == kConfigWord12) {
        config_ &= latch_ | ~facts_.configMask | configRefused_;
        return;
    }
    if (a < code_.size()) {
        if (!Protected()) code_[a] &= latch_;
    } else if (!Sixteen() && a - code_.size() < 4) {
        ids_[a - code_.size()] &= latch_;
    }
}

ChipDrive PicParallelChip::Output(const PinEnvironment& env, int socketPin) const {
    (void)env;
    if (!inMode_ || !driving_) return ChipDrive::None;
    const std::vector<int>& bus = facts_.pin.bus;
    for (size_t i = 0; i < bus.size(); ++i) {
        if (S(bus[i]) == socketPin) return ((ReadAt() >> i) & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

} // namespace sim
