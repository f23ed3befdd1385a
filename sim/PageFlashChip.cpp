#include "sim/PageFlashChip.h"

#include <algorithm>

#include "sim/EpromChip.h"

namespace sim {

namespace {
constexpr uint32_t kFirst = 0x5555, kSecond = 0x2AAA;
} // namespace

FlashPinout PageFlashWord40Pinout() {
    const EpromConfig e = Word40("", 0x10000);
    FlashPinout p;
    p.pinCount = e.pinCount;
    p.address = e.addressPins;
    p.data = e.dataPins;
    p.ce = e.cePin, p.oe = e.oePin, p.we = e.pgmPin;
    p.vcc = {e.vccPin};
    p.gnd = e.gndPins;
    return p;
}

PageFlashChip::PageFlashChip(const PageFlashFacts& facts)
    : facts_(facts), pins_(DipSocketPins(facts.pinCount)), memory_(facts.words, Blank()), sdp_(facts.shippedProtected) {
    const FlashPinout& p = facts_.pins;
    direct_ = p.address.size() <= 32 && p.data.size() <= 16;
    auto seat = [&](int chipPin) {
        const int z = chipPin >= 1 && chipPin <= static_cast<int>(pins_.size()) ? pins_[static_cast<size_t>(chipPin - 1)] : 0;
        direct_ = direct_ && z != 0;
        return z;
    };
    for (size_t i = 0; direct_ && i < p.address.size(); ++i) addressZ_[i] = seat(p.address[i]);
    for (size_t i = 0; direct_ && i < p.data.size(); ++i) dataZ_[i] = seat(p.data[i]);
    if (direct_) controlZ_[0] = seat(p.ce), controlZ_[1] = seat(p.oe), controlZ_[2] = seat(p.we);
}

ChipPinLimits PageFlashChip::Limits() const { return DipPinLimits(facts_.name, facts_.pinCount); }

int PageFlashChip::Level(const PinEnvironment& env, int chipPin) const {
    return env.InputLevel(pins_[static_cast<size_t>(chipPin - 1)]);
}

uint32_t PageFlashChip::Bits(const PinEnvironment& env, const std::vector<int>& chipPins, size_t n) const {
    uint32_t v = 0;
    for (size_t i = 0; i < n && i < chipPins.size(); ++i) v |= static_cast<uint32_t>(Level(env, chipPins[i]) == 1) << i;
    return v;
}

bool PageFlashChip::Powered(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(pins_[static_cast<size_t>(facts_.vccPin - 1)]))) return false;
    return std::all_of(facts_.gndPins.begin(), facts_.gndPins.end(),
                       [&](int g) { return env.HeldLow(pins_[static_cast<size_t>(g - 1)]); });
}

bool PageFlashChip::PoweredNow(const PinEnvironment& env) const {
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

bool PageFlashChip::InLockedBlock(uint32_t a) const {
    const uint32_t n = facts_.bootBlockWords;
    if (n == 0) return false;
    return (locked_[0] && a < n) || (locked_[1] && a >= memory_.size() - n);
}

// A page load whose window ran out starts its write cycle; a prefix that
// opened no load lapses the same way.
void PageFlashChip::Settle(uint64_t now) {
    if ((load_.loading || armed_) && load_.Lapsed(now, facts_.loadWindowUs)) Commit(load_.lastUs + facts_.loadWindowUs);
}

void PageFlashChip::Commit(uint64_t start) {
    armed_ = false;
    step_ = 0;
    if (!load_.loading) return;
    load_.loading = false;
    pageWrites_.push_back(load_.page);
    if (InLockedBlock(load_.page)) return;
    for (uint32_t i = 0; i < load_.words.size(); ++i) {
        const uint32_t a = load_.page + i;
        if (a >= memory_.size() || stuck_.count(a) != 0) continue;
        if (load_.words[i] >= 0) {
            memory_[a] = static_cast<uint16_t>(load_.words[i]);
        } else if (facts_.sectorErase) {
            memory_[a] = Blank();
        }
    }
    busyUntil_ = start + facts_.writeUs;
}

void PageFlashChip::Write(uint32_t a, uint16_t d, uint64_t now) {
    cycles_.push_back({a, d});
    Settle(now);
    if (now < busyUntil_) return; // the write cycle takes no writes
    if (armed_ || load_.loading) {
        load_.Add(a, d, now, facts_.pageWords);
        return;
    }
    if (lockout_) {
        lockout_ = false;
        if (a == 0 && d == 0x00) locked_[0] = true;
        if (a == memory_.size() - 1 && (d & 0xFF) == 0xFF) locked_[1] = true;
        return;
    }
    const uint16_t wide = facts_.width > 8 ? 0x0101 : 0x0001;
    auto is = [&](uint32_t address, uint16_t command) { return (a & 0x7FFF) == address && d == command * wide; };
    // The cycles after AAh, 55h: the third decides, 80h leads to a second
    // AAh, 55h and the sixth.
    if (step_ == 0 || step_ == 3) {
        step_ = is(kFirst, 0xAA) ? step_ + 1 : 0;
        if (step_ != 0) return;
    } else if (step_ == 1 || step_ == 4) {
        step_ = is(kSecond, 0x55) ? step_ + 1 : 0;
        if (step_ != 0) return;
    } else if (step_ == 2) {
        step_ = 0;
        if (is(kFirst, 0xA0)) {
            sdp_ = armed_ = true;
            load_.lastUs = now;
            return;
        }
        if (is(kFirst, 0x80)) return void(step_ = 3);
        if (facts_.idMode && is(kFirst, 0x90)) return void(idMode_ = true);
        if (is(kFirst, 0xF0)) return void(idMode_ = false);
    } else if (step_ == 5) {
        step_ = 0;
        if (is(kFirst, 0x20)) return void(sdp_ = false);
        if (facts_.chipErase && is(kFirst, 0x10)) {
            for (uint32_t w = 0; w < memory_.size(); ++w) {
                if (!InLockedBlock(w) && stuck_.count(w) == 0) memory_[w] = Blank();
            }
            ++chipErases_;
            busyUntil_ = now + facts_.eraseUs;
            return;
        }
        if (facts_.bootBlockWords != 0 && is(kFirst, 0x40)) return void(lockout_ = true);
    }
    if (!sdp_) load_.Add(a, d, now, facts_.pageWords);
}

uint16_t PageFlashChip::ReadWord(uint64_t now) const {
    if (now < busyUntil_) {
        // Bit 7 inverted, bit 6 toggling; the same in the high byte.
        const uint16_t status = static_cast<uint16_t>((~load_.lastData & 0x8080) | ((toggles_ & 1) ? 0x4040 : 0) | 0x3F3F);
        return static_cast<uint16_t>(status & Blank());
    }
    if (idMode_) {
        const uint32_t top = static_cast<uint32_t>(memory_.size());
        if (address_ == 0) return static_cast<uint16_t>(facts_.makerCode);
        if (address_ == 1) return static_cast<uint16_t>(facts_.deviceCode);
        if (facts_.bootBlockWords != 0 && address_ == 2) return locked_[0] ? 0xFF : 0xFE;
        if (facts_.bootBlockWords != 0 && address_ == top - 14) return locked_[1] ? 0xFF : 0xFE;
    }
    return address_ < memory_.size() ? memory_[address_] : Blank();
}

void PageFlashChip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    if (!PoweredNow(env)) {
        if (powered_) {
            load_.loading = armed_ = lockout_ = idMode_ = false;
            step_ = 0;
        }
        powered_ = writeActive_ = readActive_ = false;
        return;
    }
    powered_ = true;
    Settle(now);
    const FlashPinout& p = facts_.pins;
    bool ce, oe, we;
    if (direct_) {
        const uint32_t c = env.HighLevels(controlZ_, 3);
        ce = (c & 1) == 0, oe = (c & 2) == 0, we = (c & 4) == 0;
        address_ = env.HighLevels(addressZ_, p.address.size()) & static_cast<uint32_t>(memory_.size() - 1);
    } else {
        ce = Level(env, p.ce) == 0, oe = Level(env, p.oe) == 0, we = Level(env, p.we) == 0;
        address_ = Bits(env, p.address, p.address.size()) & static_cast<uint32_t>(memory_.size() - 1);
    }
    const bool w = ce && we && !oe;
    if (writeActive_ && !w) {
        const size_t lines = std::min<size_t>(static_cast<size_t>(facts_.width), p.data.size());
        const uint32_t d = direct_ ? env.HighLevels(dataZ_, lines) : Bits(env, p.data, facts_.width);
        Write(address_, static_cast<uint16_t>(d), now);
    }
    writeActive_ = w;
    const bool r = ce && oe && !we;
    if (r && !readActive_) {
        if (load_.loading) Commit(now);
        if (now < busyUntil_) ++toggles_;
    }
    readActive_ = r;
}

ChipDrive PageFlashChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

// The datum is worked out once for the whole data word.
void PageFlashChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    for (size_t i = 0; i < n; ++i) out[i] = ChipDrive::None;
    if (!powered_ || !readActive_ || !PoweredNow(env)) return;
    const auto& data = facts_.pins.data;
    bool known = false;
    uint16_t word = 0;
    for (size_t i = 0; i < n; ++i) {
        const int chipPin = ChipPinAt(socketPins[i]);
        const auto it = std::find(data.begin(), data.end(), chipPin);
        if (it == data.end() || it - data.begin() >= facts_.width) continue;
        if (!known) word = ReadWord(env.NowUs()), known = true;
        out[i] = (word >> (it - data.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

} // namespace sim
