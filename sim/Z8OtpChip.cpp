#include "sim/Z8OtpChip.h"

#include <algorithm>

namespace sim {

namespace {

constexpr int kVccMinTenths = 45;

} // namespace

Z8OtpChip::Z8OtpChip(const Z8OtpFacts& facts, std::vector<int> socketPins)
    : facts_(facts), pins_(socketPins.empty() ? DipSocketPins(facts.pinCount) : std::move(socketPins)) {
    cells_.assign(facts_.words, 0xFF);
}

int Z8OtpChip::S(int chipPin) const {
    if (chipPin < 1 || chipPin > static_cast<int>(pins_.size())) return 0;
    return pins_[static_cast<size_t>(chipPin - 1)];
}

ChipPinLimits Z8OtpChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    for (int s : pins_) {
        if (s != 0) l.socketPins.push_back(s);
    }
    std::vector<int> hv = {facts_.vppPin, facts_.epmPin};
    if (facts_.entry == Z8Entry::HighVoltagePins) {
        hv.push_back(facts_.modePin);
        for (const Z8OptionPattern& o : facts_.optionPatterns) hv.insert(hv.end(), o.highVoltage.begin(), o.highVoltage.end());
    }
    for (int p : hv) {
        if (S(p) != 0) l.Allow(S(p), facts_.highVoltageLimitTenths);
    }
    return l;
}

// A floating input keeps its last level: only a held level changes it.
bool Z8OtpChip::Level(const PinEnvironment& env, int chipPin, bool last) const {
    const int s = S(chipPin);
    return env.HeldHigh(s) ? true : env.HeldLow(s) ? false : last;
}

uint32_t Z8OtpChip::AddressOf(const PinEnvironment& env) const {
    if (facts_.address.empty()) return counter_;
    uint32_t a = 0;
    for (size_t i = 0; i < facts_.address.size(); ++i) a |= static_cast<uint32_t>(env.InputLevel(S(facts_.address[i]))) << i;
    return a;
}

void Z8OtpChip::Leave() {
    inMode_ = false;
    spaceChosen_ = false;
    optionSpace_ = false;
    optionPulses_ = false;
    lowEpmOptions_ = false;
    pulsing_ = false;
}

bool Z8OtpChip::HighVoltage(const PinEnvironment& env, int chipPin) const {
    return facts_.epmWindow.Holds(env.VoltageTenths(S(chipPin)));
}

bool Z8OtpChip::Enter(const PinEnvironment& env, bool vccUp, bool& vpp) {
    vpp = facts_.vppWindow.Holds(env.VoltageTenths(S(facts_.vppPin)));
    if (facts_.entry == Z8Entry::HighVoltagePins) {
        const bool modeHv = HighVoltage(env, facts_.modePin);
        if (!vccUp || !vpp) lowEpmOptions_ = false;
        else if (!lastVpp_ && facts_.optionsOnLowEpm && env.HeldLow(S(facts_.epmPin))) lowEpmOptions_ = true;
        lastVpp_ = vccUp && vpp;
        optionPulses_ = vccUp && vpp && (modeHv || lowEpmOptions_);
        const bool array = vccUp && !modeHv && (vpp || HighVoltage(env, facts_.epmPin));
        spaceChosen_ = optionPulses_ || array;
        return spaceChosen_;
    }
    if (!vccUp || !env.HeldLow(S(facts_.modePin)) || !HighVoltage(env, facts_.epmPin)) return false;
    if (!spaceChosen_ && vpp) {
        spaceChosen_ = true;
        optionSpace_ = AddressOf(env) == facts_.optionSelect;
    }
    return true;
}

void Z8OtpChip::Update(const PinEnvironment& env) {
    bool vccUp = env.VoltageTenths(S(facts_.vccPin)) >= kVccMinTenths;
    for (int g : facts_.gndPins) vccUp = vccUp && env.HeldLow(S(g));
    if (!vccUp) counter_ = 0;
    if (!facts_.address.empty()) {
        // Address-line part: nothing to count.
    } else {
        const bool clear = Level(env, facts_.clearPin, lastClear_);
        const bool clock = Level(env, facts_.clockPin, lastClock_);
        if (clear && !lastClear_) counter_ = 0;
        else if (clock && !lastClock_) counter_ = (counter_ + 1) % std::max<uint32_t>(facts_.words, 1);
        lastClear_ = clear;
        lastClock_ = clock;
    }
    bool vpp = false;
    if (!Enter(env, vccUp, vpp)) {
        if (inMode_) Leave();
        lastStrobe_ = Level(env, facts_.programStrobe, lastStrobe_);
        return;
    }
    inMode_ = true;
    const bool strobe = Level(env, facts_.programStrobe, lastStrobe_);
    if (!strobe && lastStrobe_) {
        const bool held = std::all_of(facts_.data.begin(), facts_.data.end(),
                                      [&](int p) { return env.VoltageTenths(S(p)) >= 0; });
        pulsing_ = held || optionPulses_;
        pulseStart_ = env.NowUs();
        pulseAddress_ = AddressOf(env);
        latch_ = 0;
        for (size_t i = 0; i < facts_.data.size(); ++i)
            latch_ |= static_cast<uint8_t>(env.InputLevel(S(facts_.data[i])) << i);
    }
    if (strobe && !lastStrobe_ && pulsing_) {
        pulsing_ = false;
        if (!vpp || !spaceChosen_) {
            ++refused_;
        } else if (optionPulses_) {
            BurnOption(env, env.NowUs() - pulseStart_);
        } else {
            Burn(env, env.NowUs() - pulseStart_);
        }
    }
    lastStrobe_ = strobe;
}

void Z8OtpChip::Burn(const PinEnvironment& env, uint64_t widthUs) {
    (void)env;
    if (widthUs < facts_.minPulseUs) {
        ++refused_;
        return;
    }
    const bool option = optionSpace_ && (facts_.address.empty() || pulseAddress_ == facts_.optionAddress);
    if (optionSpace_ && !option) return; // the option space holds nothing else
    pulses_.push_back({option, pulseAddress_, latch_, widthUs});
    if (option) {
        option_ &= static_cast<uint8_t>(latch_ | stuckOptionBits_);
        return;
    }
    if (pulseAddress_ >= cells_.size() || Protected()) return;
    const int count = ++counted_[pulseAddress_];
    if (stuck_.count(pulseAddress_) != 0) return;
    auto it = needed_.find(pulseAddress_);
    if (count < (it == needed_.end() ? facts_.pulsesNeeded : it->second)) return;
    cells_[pulseAddress_] &= latch_;
}

void Z8OtpChip::BurnOption(const PinEnvironment& env, uint64_t widthUs) {
    if (widthUs < facts_.optionPulseUs) {
        ++refused_;
        return;
    }
    auto all = [&](const std::vector<int>& pins, bool hv) {
        return std::all_of(pins.begin(), pins.end(), [&](int p) { return HighVoltage(env, p) == hv; });
    };
    auto held = [&](const std::vector<int>& pins, bool high) {
        return std::all_of(pins.begin(), pins.end(), [&](int p) {
            return high ? env.HeldHigh(S(p)) && !HighVoltage(env, p) : env.HeldLow(S(p));
        });
    };
    for (const Z8OptionPattern& o : facts_.optionPatterns) {
        if (!all(o.highVoltage, true) || !all(o.notHighVoltage, false)) continue;
        if (!held(o.heldLow, false) || !held(o.logicHigh, true)) continue;
        if (o.address >= 0 && pulseAddress_ != static_cast<uint32_t>(o.address)) continue;
        burnt_.push_back({o.name, pulseAddress_, widthUs});
        if (o.protects) option_ &= static_cast<uint8_t>(0xFE | stuckOptionBits_);
        return;
    }
    ++refused_;
}

uint8_t Z8OtpChip::Selected(const PinEnvironment& env) const {
    const uint32_t a = AddressOf(env);
    if (optionSpace_) return facts_.address.empty() || a == facts_.optionAddress ? OptionByte() : 0xFF;
    if (Protected() || a >= cells_.size()) return 0xFF;
    return cells_[a];
}

ChipDrive Z8OtpChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!inMode_ || !env.HeldLow(S(facts_.readStrobe))) return ChipDrive::None;
    for (size_t i = 0; i < facts_.data.size(); ++i) {
        if (S(facts_.data[i]) == socketPin) return ((Selected(env) >> i) & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

} // namespace sim
