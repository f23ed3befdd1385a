#include "sim/MuxEepromChip.h"

#include <algorithm>

namespace sim {

namespace {
constexpr uint32_t kFirst = 0x555, kSecond = 0xAAA;
constexpr uint32_t kBlockBytes = 0x400;
} // namespace

MuxEepromChip::MuxEepromChip(const MuxEepromFacts& facts)
    : facts_(facts), pins_(DipSocketPins(facts.pinCount)), memory_(facts.words, static_cast<uint8_t>(facts.blank)) {}

ChipPinLimits MuxEepromChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    for (int s : pins_) {
        if (s != 0) l.socketPins.push_back(s);
    }
    return l;
}

int MuxEepromChip::Level(const PinEnvironment& env, int chipPin) const {
    return env.InputLevel(pins_[static_cast<size_t>(chipPin - 1)]);
}

bool MuxEepromChip::Powered(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(pins_[static_cast<size_t>(facts_.vccPin - 1)]))) return false;
    return std::all_of(facts_.gndPins.begin(), facts_.gndPins.end(),
                       [&](int g) { return env.HeldLow(pins_[static_cast<size_t>(g - 1)]); });
}

bool MuxEepromChip::ReadStrobe(const PinEnvironment& env) const {
    const MuxEepromPinout& p = facts_.pins;
    if (Level(env, p.ce) != 0) return false;
    if (facts_.motorola) return Level(env, p.write) == 1 && Level(env, p.read) == 1;
    return Level(env, p.read) == 0;
}

bool MuxEepromChip::WriteStrobe(const PinEnvironment& env) const {
    const MuxEepromPinout& p = facts_.pins;
    if (Level(env, p.ce) != 0) return false;
    if (facts_.motorola) return Level(env, p.write) == 0 && Level(env, p.read) == 1;
    return Level(env, p.write) == 0;
}

// A page load whose window ran out starts its write cycle; a prefix that
// opened no load lapses the same way.
void MuxEepromChip::Settle(uint64_t now) {
    if ((load_.loading || armed_) && load_.Lapsed(now, facts_.byteLoadUs)) Commit(load_.lastUs + facts_.byteLoadUs);
}

void MuxEepromChip::Commit(uint64_t start) {
    armed_ = false;
    step_ = 0;
    if (!load_.loading) return;
    load_.loading = false;
    for (uint32_t i = 0; i < load_.words.size(); ++i) {
        const uint32_t a = load_.page + i;
        if (load_.words[i] < 0 || a >= memory_.size() || stuck_.count(a) != 0) continue;
        if ((blockProtect_ >> (a / kBlockBytes)) & 1) continue;
        memory_[a] = static_cast<uint8_t>(load_.words[i]);
    }
    writeCycles_.push_back(load_.page);
    busyUntil_ = start + facts_.writeUs;
}

void MuxEepromChip::Write(uint32_t a, uint8_t d, uint64_t now) {
    cycles_.push_back({a, d});
    Settle(now);
    if (now < busyUntil_) return; // the write cycle takes no writes
    const uint32_t low = a & 0xFFF;
    if (armed_) {
        // After the prefix: page data, or the block protect sequence whose
        // first cycle may have been loaded as a datum.
        if (step_ == 11) {
            blockProtect_ = d;
            armed_ = load_.loading = false;
            step_ = 0;
            return;
        }
        if (step_ == 10 && low == kSecond && d == 0xC0) {
            load_.loading = false;
            step_ = 11;
            load_.lastUs = now;
            return;
        }
        step_ = !load_.loading && low == kFirst && d == 0xAA ? 10 : 0;
        load_.Add(a, d, now, facts_.pageBytes);
        return;
    }
    struct Expect {
        uint32_t low;
        uint8_t data;
    };
    static constexpr Expect kSequence[] = {{kFirst, 0xAA}, {kSecond, 0x55}, {kFirst, 0x80},
                                           {kFirst, 0xAA}, {kSecond, 0x55}, {kFirst, 0x20}};
    if (step_ == 2 && low == kFirst && d == 0xA0) {
        sdp_ = true;
        armed_ = true;
        step_ = 0;
        load_.lastUs = now;
        return;
    }
    if (low == kSequence[step_].low && d == kSequence[step_].data) {
        if (++step_ == 6) {
            sdp_ = false;
            step_ = 0;
        }
        return;
    }
    step_ = 0;
    if (!sdp_) load_.Add(a, d, now, facts_.pageBytes);
}

uint8_t MuxEepromChip::ReadByte(uint64_t now) const {
    if (now < busyUntil_) return static_cast<uint8_t>((~load_.lastData & 0x80) | ((toggles_ & 1) << 6) | 0x3F);
    return address_ < memory_.size() ? memory_[address_] : 0xFF;
}

void MuxEepromChip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    if (!Powered(env)) {
        if (powered_) {
            load_.loading = armed_ = false;
            step_ = 0;
        }
        powered_ = latchHigh_ = writeActive_ = readActive_ = false;
        return;
    }
    powered_ = true;
    Settle(now);
    const MuxEepromPinout& p = facts_.pins;
    const bool latch = Level(env, p.latch) == 1;
    if (latchHigh_ || latch) {
        uint32_t a = 0;
        for (int i = 0; i < 8; ++i) a |= static_cast<uint32_t>(Level(env, p.ad[i])) << i;
        for (int i = 0; i < 5; ++i) a |= static_cast<uint32_t>(Level(env, p.high[i])) << (8 + i);
        address_ = a;
    }
    latchHigh_ = latch;
    const bool w = WriteStrobe(env);
    if (writeActive_ && !w) {
        uint8_t d = 0;
        for (int i = 0; i < 8; ++i) d = static_cast<uint8_t>(d | (Level(env, p.ad[i]) << i));
        Write(address_, d, now);
    }
    writeActive_ = w;
    const bool r = ReadStrobe(env);
    if (r && !readActive_) {
        // A read ends the page load: the write cycle starts at once.
        if (load_.loading) Commit(now);
        if (now < busyUntil_) ++toggles_;
    }
    readActive_ = r;
}

ChipDrive MuxEepromChip::Output(const PinEnvironment& env, int socketPin) const {
    if (!powered_ || !readActive_ || !Powered(env)) return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    for (int i = 0; i < 8; ++i) {
        if (facts_.pins.ad[i] == chipPin) return (ReadByte(env.NowUs()) >> i) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

} // namespace sim
