#include "sim/FusePromChip.h"

#include <algorithm>

#include "sim/Universal.h"

namespace sim {

FusePromChip::FusePromChip(FusePromConfig config)
    : cfg_(std::move(config)), socketPins_(DipSocketPins(cfg_.pinCount)), words_(cfg_.words, cfg_.blank) {}

int FusePromChip::Socket(int chipPin) const {
    return chipPin >= 1 && chipPin <= static_cast<int>(socketPins_.size())
               ? socketPins_[static_cast<size_t>(chipPin - 1)]
               : 0;
}

ChipPinLimits FusePromChip::Limits() const {
    ChipPinLimits l = DipPinLimits(cfg_.name, cfg_.pinCount);
    for (int d : cfg_.dataPins) l.Allow(Socket(d), cfg_.blowMaxTenths);
    if (cfg_.strobePin != 0) l.Allow(Socket(cfg_.strobePin), cfg_.strobeMaxTenths);
    l.Allow(Socket(cfg_.vccPin), cfg_.vccMaxTenths);
    return l;
}

bool FusePromChip::IsBlank() const {
    return std::all_of(words_.begin(), words_.end(), [&](uint8_t w) { return w == cfg_.blank; });
}

bool FusePromChip::Powered(const PinEnvironment& env) const {
    return env.VoltageTenths(Socket(cfg_.vccPin)) >= 45 && env.HeldLow(Socket(cfg_.gndPin));
}

uint32_t FusePromChip::AddressNow(const PinEnvironment& env) const {
    uint32_t a = 0;
    for (size_t i = 0; i < cfg_.addressPins.size(); ++i)
        if (env.InputLevel(Socket(cfg_.addressPins[i])) != 0) a |= 1u << i;
    return a % cfg_.words;
}

int FusePromChip::Condition(const PinEnvironment& env) const {
    const int vcc = env.VoltageTenths(Socket(cfg_.vccPin));
    if (vcc < cfg_.vccProgMin || vcc > cfg_.vccProgMax || !env.HeldLow(Socket(cfg_.gndPin))) return -1;
    const int strobe = Socket(cfg_.strobePin);
    const bool strobeAtSupply = env.VoltageTenths(strobe) >= cfg_.strobeMin && cfg_.strobeMin > 0;
    if (cfg_.style == FuseStyle::ByteWrite) return strobeAtSupply ? 8 : -1;
    if (cfg_.style == FuseStyle::StrobeAtSupply ? !strobeAtSupply : !env.HeldLow(strobe)) return -1;
    int bit = -1;
    for (size_t i = 0; i < cfg_.dataPins.size(); ++i) {
        if (env.VoltageTenths(Socket(cfg_.dataPins[i])) < cfg_.blowMin) continue;
        if (bit >= 0) return -1; // one fuse at a time
        bit = static_cast<int>(i);
    }
    return bit;
}

void FusePromChip::Apply() {
    ++pulses_;
    const uint8_t stuck = stuck_.count(address_) ? stuck_[address_] : 0;
    uint8_t& w = words_[address_];
    if (active_ == 8) { // a byte: bits move from the blank value towards the datum
        const uint8_t d = static_cast<uint8_t>(data_ | stuck);
        w = cfg_.blank == 0xFF ? static_cast<uint8_t>(w & d) : static_cast<uint8_t>(w | (data_ & ~stuck));
        return;
    }
    if ((stuck >> active_ & 1) != 0) return;
    if (++counts_[address_ * 8 + static_cast<uint32_t>(active_)] >= cfg_.pulsesPerFuse) {
        // The blown fuse reads the other level than the blank value.
        w = static_cast<uint8_t>(cfg_.blank == 0 ? w | (1u << active_) : w & ~(1u << active_));
    }
}

void FusePromChip::Evaluate(const PinEnvironment& env) {
    env_ = &env;
    const int now = Condition(env);
    if (now == active_) return;
    if (active_ >= 0 && env.NowUs() - start_ >= cfg_.minPulseUs) Apply();
    active_ = now;
    start_ = env.NowUs();
    if (now < 0) return;
    address_ = AddressNow(env);
    data_ = 0;
    for (size_t i = 0; i < cfg_.dataPins.size(); ++i)
        if (env.InputLevel(Socket(cfg_.dataPins[i])) != 0) data_ = static_cast<uint8_t>(data_ | (1u << i));
}

bool FusePromChip::OnWrite(SimProgrammer& p, uint8_t, uint8_t) {
    if (const PinDriverPersonality* d = FindPinDriver(p)) Evaluate(*d);
    return false;
}

bool FusePromChip::OnLatchBit(SimProgrammer& p, uint8_t, uint8_t, bool) {
    if (const PinDriverPersonality* d = FindPinDriver(p)) Evaluate(*d);
    return false;
}

ChipDrive FusePromChip::Output(const PinEnvironment& env, int socketPin) const {
    const int chipPin = ChipPinAt(socketPin);
    const auto it = std::find(cfg_.dataPins.begin(), cfg_.dataPins.end(), chipPin);
    if (chipPin == 0 || it == cfg_.dataPins.end() || !Powered(env) || Condition(env) >= 0) return ChipDrive::None;
    // Outputs are off while any data pin carries a programming voltage.
    for (int d : cfg_.dataPins)
        if (env.VoltageTenths(Socket(d)) > 70) return ChipDrive::None;
    for (int p : cfg_.enableLow)
        if (!env.HeldLow(Socket(p))) return ChipDrive::None;
    for (int p : cfg_.enableHigh)
        if (!env.HeldHigh(Socket(p)) || env.VoltageTenths(Socket(p)) > 70) return ChipDrive::None;
    const uint8_t v = words_[AddressNow(env)];
    return (v >> (it - cfg_.dataPins.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
