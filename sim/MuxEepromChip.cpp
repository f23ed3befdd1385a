#include "sim/MuxEepromChip.h"

#include <algorithm>

namespace sim {

namespace {
constexpr uint32_t kFirst = 0x555, kSecond = 0xAAA;
constexpr uint32_t kBlockBytes = 0x400;
} // namespace

MuxEepromChip::MuxEepromChip(const MuxEepromFacts& facts)
    : facts_(facts), pins_(DipSocketPins(facts.pinCount)), memory_(facts.words, static_cast<uint8_t>(facts.blank)) {
    const MuxEepromPinout& p = facts_.pins;
    direct_ = true;
    auto seat = [&](int chipPin) {
        const int z = chipPin >= 1 && chipPin <= static_cast<int>(pins_.size()) ? pins_[static_cast<size_t>(chipPin - 1)] : 0;
        direct_ = direct_ && z != 0;
        return z;
    };
    for (int i = 0; i < 8; ++i) addressZ_[i] = seat(p.ad[i]);
    for (int i = 0; i < 5; ++i) addressZ_[8 + i] = seat(p.high[i]);
    const int controls[4] = {p.latch, p.ce, p.read, p.write};
    for (int k = 0; k < 4; ++k) controlZ_[k] = seat(controls[k]);
    for (int z = 0; z <= kSocketPins; ++z) {
        adBitOf_[z] = -1;
        const int chipPin = ChipPinAt(z);
        for (int b = 0; chipPin != 0 && b < 8; ++b) {
            if (p.ad[b] == chipPin) {
                adBitOf_[z] = static_cast<int8_t>(b);
                break;
            }
        }
    }
}

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

bool MuxEepromChip::PoweredNow(const PinEnvironment& env) const {
    const uint64_t revision = env.SupplyRevision();
    if (revision != 0 && revision == supplyRevision_) return supplyPowered_;
    supplyPowered_ = Powered(env);
    // Kept only while no supply or ground pin takes its level from a logic
    // driver, which may move within one revision.
    bool switched = revision != 0;
    auto held = [&](int chipPin) {
        const PinCondition c = env.ConditionAt(pins_[static_cast<size_t>(chipPin - 1)]);
        switched = switched && (c.grounded || c.supplyTenths >= 0);
    };
    held(facts_.vccPin);
    for (int g : facts_.gndPins) held(g);
    supplyRevision_ = switched ? revision : 0;
    return supplyPowered_;
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
    if (!PoweredNow(env)) {
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
    bool latch, w, r;
    uint32_t lines = 0; // AD0-AD7, A8-A12
    if (direct_) {
        const uint32_t c = env.HighLevels(controlZ_, 4); // latch, /CE, read, write
        const bool ce = (c & 2) == 0, read = (c & 4) != 0, write = (c & 8) != 0;
        latch = (c & 1) != 0;
        w = ce && (facts_.motorola ? !write && read : !write);
        r = ce && (facts_.motorola ? write && read : !read);
        if (latchHigh_ || latch || (writeActive_ && !w)) lines = env.HighLevels(addressZ_, 13);
    } else {
        latch = Level(env, p.latch) == 1;
        w = WriteStrobe(env);
        r = ReadStrobe(env);
        for (int i = 0; i < 8; ++i) lines |= static_cast<uint32_t>(Level(env, p.ad[i])) << i;
        for (int i = 0; i < 5; ++i) lines |= static_cast<uint32_t>(Level(env, p.high[i])) << (8 + i);
    }
    if (latchHigh_ || latch) address_ = lines;
    latchHigh_ = latch;
    if (writeActive_ && !w) Write(address_, static_cast<uint8_t>(lines & 0xFF), now);
    writeActive_ = w;
    if (r && !readActive_) {
        // A read ends the page load: the write cycle starts at once.
        if (load_.loading) Commit(now);
        if (now < busyUntil_) ++toggles_;
    }
    readActive_ = r;
}

ChipDrive MuxEepromChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

// The datum is worked out once for the whole AD word.
void MuxEepromChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    for (size_t i = 0; i < n; ++i) out[i] = ChipDrive::None;
    if (!powered_ || !readActive_ || !PoweredNow(env)) return;
    bool known = false;
    uint8_t byte = 0;
    for (size_t i = 0; i < n; ++i) {
        const int z = socketPins[i];
        const int b = z >= 1 && z <= kSocketPins ? adBitOf_[z] : -1;
        if (b < 0) continue;
        if (!known) byte = ReadByte(env.NowUs()), known = true;
        out[i] = (byte >> b) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

} // namespace sim
