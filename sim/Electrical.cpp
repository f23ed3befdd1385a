#include "sim/Electrical.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <memory>

#include "sim/GangAdapter.h"
#include "sim/IdMemory.h"
#include "sim/Universal.h"

namespace sim {

namespace {

// Switch wiring of one socket pin.
struct PinWiring {
    uint8_t regA; // supply-A register 26-31
    uint8_t maskA;
    uint8_t latchB; // supply-B latch 16-21
    uint8_t bitB;
    uint8_t latchG; // ground latch 22-27
    uint8_t bitG;
};

struct WiringTable {
    PinWiring pin[kSocketPins + 1];
};

constexpr WiringTable BuildWiring() {
    WiringTable t{};
    struct Group {
        int first;
        uint8_t regA;
        uint8_t latchB;
        uint8_t bits[8];
    };
    constexpr Group groups[6] = {
        {1, 26, 16, {4, 5, 7, 6, 1, 0, 2, 3}},  {2, 27, 17, {3, 2, 0, 1, 6, 7, 5, 4}},
        {17, 28, 20, {3, 2, 0, 1, 6, 7, 5, 4}}, {18, 29, 19, {3, 2, 0, 1, 6, 7, 5, 4}},
        {33, 30, 18, {3, 2, 0, 1, 6, 7, 5, 4}}, {34, 31, 21, {3, 2, 0, 1, 6, 7, 5, 4}},
    };
    for (const Group& g : groups) {
        for (int k = 0; k < 8; ++k) {
            PinWiring& w = t.pin[g.first + 2 * k];
            w.regA = g.regA;
            w.maskA = static_cast<uint8_t>(0x80 >> k);
            w.latchB = g.latchB;
            w.bitB = g.bits[k];
        }
    }
    constexpr uint8_t left[4] = {6, 0, 2, 4};
    constexpr uint8_t right[4] = {5, 3, 1, 7};
    for (int p = 1; p <= 24; ++p) {
        t.pin[p].latchG = static_cast<uint8_t>(22 + (p - 1) / 4);
        t.pin[p].bitG = left[(p - 1) % 4];
    }
    for (int p = 25; p <= 48; ++p) {
        t.pin[p].latchG = static_cast<uint8_t>(27 - (p - 25) / 4);
        t.pin[p].bitG = right[(p - 1) % 4];
    }
    return t;
}

constexpr WiringTable kWiring = BuildWiring();

// The socket pins (bit p: pin p) each latch bit and supply-A register bit
// switches, for working out only the pins a write can move.
struct SwitchReach {
    uint64_t latch[32][8];
    uint64_t supplyABit[6][8]; // the pin of each bit of each supply-A register
};

constexpr SwitchReach BuildReach() {
    SwitchReach r{};
    for (int p = 1; p <= kSocketPins; ++p) {
        const PinWiring& w = kWiring.pin[p];
        for (int b = 0; b < 8; ++b) {
            if ((w.maskA >> b) & 1) r.supplyABit[w.regA - 26][b] |= uint64_t{1} << p;
        }
        r.latch[w.latchB][w.bitB] |= uint64_t{1} << p;
        r.latch[w.latchG][w.bitG] |= uint64_t{1} << p;
    }
    constexpr int strong[8] = {40, 48, 44, 38, 25, 34, 36, 28};
    for (int b = 0; b < 8; ++b) r.latch[28][b] |= uint64_t{1} << strong[b];
    r.latch[29][0] |= uint64_t{1} << 19; // programming switches
    r.latch[29][1] |= uint64_t{1} << 38;
    r.latch[29][2] |= uint64_t{1} << 24; // strong grounds
    r.latch[29][5] |= uint64_t{1} << 15;
    r.latch[29][6] |= uint64_t{1} << 34;
    return r;
}

constexpr SwitchReach kReach = BuildReach();

// The pins a DAC channel can feed (bit p: pin p): supply A from channels 1
// (odd pins) and 2 (even), supply B from 3 (odd) and 4 (even), the strong
// path from 4 and the programming switches from 1.
struct ChannelReach {
    uint64_t pins[4];
};

constexpr ChannelReach BuildChannelReach() {
    ChannelReach r{};
    for (int p = 1; p <= kSocketPins; ++p) {
        r.pins[p % 2 ? 0 : 1] |= uint64_t{1} << p;
        r.pins[p % 2 ? 2 : 3] |= uint64_t{1} << p;
    }
    for (int b = 0; b < 8; ++b) r.pins[3] |= kReach.latch[28][b];
    r.pins[0] |= kReach.latch[29][0] | kReach.latch[29][1];
    return r;
}

constexpr ChannelReach kChannelReach = BuildChannelReach();

// Latch 28 bit b feeds the strong supply path to this socket pin.
constexpr int kStrongSupplyPin[8] = {40, 48, 44, 38, 25, 34, 36, 28};
// Latch 29 strong grounds (bit, socket pin).
constexpr std::pair<int, int> kStrongGround[3] = {{2, 24}, {5, 15}, {6, 34}};
// Latch 29 programming switches (bit, socket pin), fed from channel 1.
constexpr std::pair<int, int> kProgrammingSwitch[2] = {{0, 19}, {1, 38}};

// The latch-28 strong-supply bit, the latch-29 programming-switch bit and the
// latch-29 strong-ground bit of each socket pin (-1: none): no pin has two of
// one kind.
struct PinExtras {
    int8_t strong = -1, programming = -1, strongGround = -1;
};

constexpr std::array<PinExtras, kSocketPins + 1> BuildExtras() {
    std::array<PinExtras, kSocketPins + 1> t{};
    for (int b = 0; b < 8; ++b) t[static_cast<size_t>(kStrongSupplyPin[b])].strong = static_cast<int8_t>(b);
    for (const auto& [bit, pin] : kProgrammingSwitch) t[static_cast<size_t>(pin)].programming = static_cast<int8_t>(bit);
    for (const auto& [bit, pin] : kStrongGround) t[static_cast<size_t>(pin)].strongGround = static_cast<int8_t>(bit);
    return t;
}

constexpr std::array<PinExtras, kSocketPins + 1> kExtras = BuildExtras();

constexpr int kStrongKneeMillivolts = 2600;

enum ViolationBit : uint32_t {
    kSupplyAndGround = 1,
    kTwoSupplies = 2,
    kOverLimit = 4,
    kNoChip = 8,
};

const char* SourceName(uint32_t sw) {
    switch (sw) {
    case kSwitchSupplyA:
        return "supply A";
    case kSwitchSupplyB:
        return "supply B";
    case kSwitchStrongSupply:
        return "the strong supply";
    case kSwitchProgramming:
        return "the programming switch";
    default:
        return "?";
    }
}

std::string Volts(int millivolts) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%.2f V", millivolts / 1000.0);
    return buf;
}

// "socket pin N: " before a violation's text, built only when one is
// recorded.
struct Where {
    explicit Where(int p) : pin(p) {}
    int pin;
    std::string Text() const { return "socket pin " + std::to_string(pin) + ": "; }
    friend std::string operator+(const Where& w, const char* s) { return w.Text() + s; }
    friend std::string operator+(const Where& w, const std::string& s) { return w.Text() + s; }
};

bool Bit(uint8_t v, int bit) {
    return ((v >> bit) & 1) != 0;
}

constexpr uint32_t kSupplySwitches = kSwitchSupplyA | kSwitchSupplyB | kSwitchStrongSupply | kSwitchProgramming;

// The DAC channel (1-4) behind a supply switch of a pin.
int ChannelOf(uint32_t sw, int pin) {
    switch (sw) {
    case kSwitchSupplyA:
        return pin % 2 ? 1 : 2;
    case kSwitchSupplyB:
        return pin % 2 ? 3 : 4;
    case kSwitchStrongSupply:
        return 4;
    default:
        return 1;
    }
}

// The device supply sources (supply B and the strong path), as against the
// programming sources (supply A and the programming switch).
bool IsDeviceSupply(uint32_t switches) {
    return switches != 0 && (switches & ~(kSwitchSupplyB | kSwitchStrongSupply)) == 0;
}

} // namespace

void ApplySupply(const PinState& s, PinCondition& c) {
    c.grounded = s.Grounded();
    if (s.Supplied()) c.supplyTenths = s.Tenths();
    c.steadyFromUs = s.steadyFromUs;
}

ChipPinLimits DipPinLimits(const std::string& chip, int pinCount, int maxTenths) {
    ChipPinLimits l;
    l.chip = chip;
    l.maxTenths = maxTenths;
    l.socketPins = DipSocketPins(pinCount);
    return l;
}

int Electrical::DacMillivolts(int channel) const {
    if (channel < 1 || channel > 4) return 0;
    return DacCodeToMillivolts(channel, dac_[channel - 1]);
}

int Electrical::StrongMillivolts() const {
    const int mv = DacMillivolts(4);
    if (mv <= 0) return 0;
    return mv + (mv < kStrongKneeMillivolts ? 900 : 1100);
}

bool Electrical::SupplyAClosed(int p) const {
    const PinWiring& w = kWiring.pin[p];
    return (supplyA_[w.regA - 26] & w.maskA) != 0 && p != faults_.deadSupplyA;
}

bool Electrical::SupplyBClosed(int p) const {
    const PinWiring& w = kWiring.pin[p];
    return Bit(latch_[w.latchB], w.bitB) && p != faults_.deadSupplyB;
}

bool Electrical::GroundClosed(int p) const {
    const PinWiring& w = kWiring.pin[p];
    return Bit(latch_[w.latchG], w.bitG) && p != faults_.deadGround;
}

bool Electrical::StrongSupplyClosed(int p, int bit) const {
    return kStrongSupplyPin[bit] == p && Bit(latch_[28], bit) && p != faults_.vccRelayOpen;
}

bool Electrical::StrongGroundClosed(int p, int bit) const {
    return p == faults_.gndRelayClosed || Bit(latch_[29], bit);
}

namespace {
uint64_t NextElectricalRevision() {
    static std::atomic<uint64_t> next{1};
    return next++;
}
} // namespace

void Electrical::Recompute() const {
    uint64_t pins = stale_;
    if (!(faults_ == faultsSeen_)) {
        faultsSeen_ = faults_;
        pins = kAllPins;
    }
    stale_ = 0;
    uint64_t moved = 0;
    while (pins != 0) {
        const int p = std::countr_zero(pins);
        pins &= pins - 1;
        const PinState s = ComputePin(p);
        PinState& old = pins_[p];
        const uint64_t bit = uint64_t{1} << p;
        suppliedMask_ = (s.switches & kSupplySwitches) != 0 ? suppliedMask_ | bit : suppliedMask_ & ~bit;
        if (s.source != old.source || s.switches != old.switches || s.millivolts != old.millivolts ||
            s.supplyMillivolts != old.supplyMillivolts || s.steadyFromUs != old.steadyFromUs) {
            moved |= uint64_t{1} << p;
        }
        old = s;
    }
    // A latch bit or register value that moves no pin keeps the revision.
    if (revision_ == 0) moved = kAllPins;
    if (moved != 0) Moved(moved);
    unchecked_ |= moved;
}

void Electrical::Moved(uint64_t pins) const {
    revision_ = NextElectricalRevision();
    moveLog_.Add(revision_, pins);
    while (pins != 0) {
        const int p = std::countr_zero(pins);
        pins &= pins - 1;
        pinRevision_[p] = revision_;
    }
}

uint64_t Electrical::MovedSince(uint64_t revision) const {
    Refresh();
    if (revision == 0) return kAllPins;
    uint64_t moved = 0;
    if (moveLog_.Since(revision, moved)) return moved;
    for (int p = 1; p <= kSocketPins; ++p) moved |= static_cast<uint64_t>(pinRevision_[p] > revision) << p;
    return moved;
}

uint64_t Electrical::SuppliedMask() const {
    // A pin with no supply switch closed does not see the DAC; pins still to
    // be worked out are worked out anyway.
    return suppliedMask_;
}

PinState Electrical::Pin(int p) const {
    if (p < 1 || p > kSocketPins) return PinState{};
    Refresh();
    return pins_[p];
}

PinState Electrical::ComputePin(int p) const {
    PinState s;
    if (p < 1 || p > kSocketPins) return s;
    s.steadyFromUs = steadyFrom_[p];
    struct Supply {
        uint32_t sw;
        int mv;
    };
    Supply closed[4];
    int n = 0;
    if (SupplyAClosed(p)) closed[n++] = {kSwitchSupplyA, DacMillivolts(p % 2 ? 1 : 2)};
    if (SupplyBClosed(p)) closed[n++] = {kSwitchSupplyB, DacMillivolts(p % 2 ? 3 : 4)};
    const PinExtras& extra = kExtras[static_cast<size_t>(p)];
    if (extra.strong >= 0 && StrongSupplyClosed(p, extra.strong)) closed[n++] = {kSwitchStrongSupply, StrongMillivolts()};
    if (extra.programming >= 0 && Bit(latch_[29], extra.programming)) closed[n++] = {kSwitchProgramming, DacMillivolts(1)};
    if (GroundClosed(p)) s.switches |= kSwitchGround;
    if (extra.strongGround >= 0 && StrongGroundClosed(p, extra.strongGround)) s.switches |= kSwitchStrongGround;
    int active = 0;
    int maxMv = 0;
    uint32_t activeSw = 0;
    for (int i = 0; i < n; ++i) {
        s.switches |= closed[i].sw;
        if (closed[i].mv > 0) {
            ++active;
            activeSw = closed[i].sw;
            maxMv = std::max(maxMv, closed[i].mv);
        }
    }
    s.supplyMillivolts = maxMv;
    const bool grounded = s.Grounded();
    auto sourceOf = [](uint32_t sw) {
        switch (sw) {
        case kSwitchSupplyA:
            return PinSource::SupplyA;
        case kSwitchSupplyB:
            return PinSource::SupplyB;
        case kSwitchStrongSupply:
            return PinSource::StrongSupply;
        default:
            return PinSource::ProgrammingSwitch;
        }
    };
    if (active >= 2 || (active == 1 && grounded)) {
        s.source = PinSource::Conflict;
        s.millivolts = grounded ? 0 : maxMv;
    } else if (grounded) {
        s.source = PinSource::Ground;
    } else if (active == 1) {
        s.source = sourceOf(activeSw);
        s.millivolts = maxMv;
    } else if (n > 0) {
        s.source = sourceOf(closed[0].sw); // a supply switch closed on a source at 0 V
    }
    return s;
}

std::vector<int> Electrical::SuppliedPins() const {
    std::vector<int> pins;
    for (int p = 1; p <= kSocketPins; ++p) {
        if (Pin(p).supplyMillivolts > 0) pins.push_back(p);
    }
    return pins;
}

std::vector<int> Electrical::GroundedPins() const {
    std::vector<int> pins;
    for (int p = 1; p <= kSocketPins; ++p) {
        if (Pin(p).Grounded()) pins.push_back(p);
    }
    return pins;
}

int Electrical::DeclareChip(const ChipPinLimits& limits) {
    const int id = nextChip_++;
    chips_[id] = limits;
    ++chipsRevision_;
    if (prog_) Check(*prog_);
    return id;
}

void Electrical::WithdrawChip(int id) {
    chips_.erase(id);
    ++chipsRevision_;
    if (prog_) Check(*prog_);
}

void Electrical::WithdrawAllChips() {
    chips_.clear();
    ++chipsRevision_;
    if (prog_) Check(*prog_);
}

bool Electrical::Occupied(int p) const { return Occupied(p, prog_ ? SuppliedSockets(*prog_) : SuppliedSocketList{}); }

namespace {
bool AnyOccupies(const SuppliedSocketList& sockets, int p) {
    for (int s = 0; s < sockets.count; ++s) {
        if (sockets.socket[static_cast<size_t>(s)]->Occupied(p)) return true;
    }
    return false;
}
} // namespace

bool Electrical::Occupied(int p, const SuppliedSocketList& sockets) const {
    for (const auto& [id, c] : chips_) {
        if (std::find(c.socketPins.begin(), c.socketPins.end(), p) != c.socketPins.end()) return true;
    }
    return AnyOccupies(sockets, p);
}

bool Electrical::OrderMatters(int p, const SuppliedSocketList& sockets) const {
    for (const auto& [id, c] : chips_) {
        if (c.supplyOrder && std::find(c.socketPins.begin(), c.socketPins.end(), p) != c.socketPins.end()) return true;
    }
    return AnyOccupies(sockets, p);
}

int Electrical::LimitTenths(int p) const {
    int limit = INT_MAX;
    for (const auto& [id, c] : chips_) {
        if (std::find(c.socketPins.begin(), c.socketPins.end(), p) == c.socketPins.end()) continue;
        int pinLimit = c.maxTenths;
        for (const auto& [pin, tenths] : c.raised) {
            if (pin == p) pinLimit = tenths;
        }
        limit = std::min(limit, pinLimit);
    }
    return limit;
}

void Electrical::CheckSwitching(SimProgrammer& p, int pin, uint32_t closed, uint32_t opened) {
    const Where where(pin);
    for (uint32_t sw : {kSwitchSupplyA, kSwitchSupplyB, kSwitchStrongSupply, kSwitchProgramming}) {
        if (!(closed & sw)) continue;
        const int c = ChannelOf(sw, pin);
        const int mv = DacMillivolts(c);
        if (mv == 0) {
            // A device supply may be switched at 0 V and ramped up from there;
            // a programming source is set first.
            if (!IsDeviceSupply(sw))
                p.Violation(where + SourceName(sw) + " switched on before channel " + std::to_string(c) +
                            " was set");
        } else if (mv > kStrongIdleMillivolts && p.NowUs() < dacStartUs_[c - 1] + kSourceStartUs) {
            p.Violation(where + SourceName(sw) + " switched on before channel " + std::to_string(c) +
                        " had started up");
        }
    }
    const int strong = DacMillivolts(4);
    if ((closed & kSwitchStrongSupply) && strong > kStrongIdleMillivolts)
        p.Violation(where + "the strong supply switched on with channel 4 at " + Volts(strong) +
                    ", not at the start of its ramp");
    if ((opened & kSwitchStrongSupply) && strong > kStrongIdleMillivolts)
        p.Violation(where + "the strong supply switched off with channel 4 at " + Volts(strong) +
                    ", before its ramp down");
}

void Electrical::CheckDacWrite(SimProgrammer& p, int ch, uint8_t code) {
    const uint64_t now = p.NowUs();
    const int channel = ch + 1;
    const int before = DacMillivolts(channel);
    const int after = DacCodeToMillivolts(channel, code);
    if (before == 0 && after > 0) dacStartUs_[ch] = now;
    if (after <= kStrongIdleMillivolts) {
        slewReported_[ch] = false;
        rampFromBottom_[ch] = true;
    } else if (after <= before) {
        rampFromBottom_[ch] = false; // a write that does not rise ends a switch-on ramp
    }
    if (after <= before) paceReported_[ch] = false;
    if (after <= before) return;
    const uint64_t sinceRise = now - lastRiseUs_[ch];
    lastRiseUs_[ch] = now;
    RefreshPinFacts(SuppliedSockets(p));
    for (uint64_t m = switchedMask_; m != 0; m &= m - 1) {
        const int pin = std::countr_zero(m);
        uint32_t feeding = 0;
        for (uint32_t sw : {kSwitchSupplyA, kSwitchSupplyB, kSwitchStrongSupply, kSwitchProgramming}) {
            if ((switches_[pin] & sw) && ChannelOf(sw, pin) == channel) feeding |= sw;
        }
        if (feeding == 0 || !orderMatters_[static_cast<size_t>(pin)]) continue;
        const Where where(pin);
        // Only a device supply switched at 0 V may come on, and then at the
        // start of its ramp.
        const bool rampStart = IsDeviceSupply(feeding) && after <= kStrongIdleMillivolts;
        if (before == 0 && !rampStart) {
            p.Violation(where + "channel " + std::to_string(channel) + " set after its switch closed");
        } else if (before > 0 && (feeding & kSwitchStrongSupply) && channel == 4 && !slewReported_[ch] &&
                   after - before > kRampStepMillivolts) {
            slewReported_[ch] = paceReported_[ch] = true; // one fault of the ramp
            p.Violation(where + "supply from channel " + std::to_string(channel) + " rising by more than " +
                        std::to_string(kRampStepMillivolts) + " mV in one step");
        } else if (holdPace_ && before > 0 && rampFromBottom_[ch] && IsDeviceSupply(feeding) && !paceReported_[ch] &&
                   sinceRise < kRampStepUs) {
            paceReported_[ch] = true;
            p.Violation(where + "supply from channel " + std::to_string(channel) + " rising again " +
                        std::to_string(sinceRise) + " us after its last step, " + std::to_string(kRampStepUs) +
                        " us the least");
        }
    }
}

bool Electrical::RefreshPinFacts(const SuppliedSocketList& sockets) {
    // Every socket's revision is its own (no two sockets share one).
    std::array<uint64_t, GangAdapter::kSockets> revisions{};
    for (int s = 0; s < sockets.count; ++s) revisions[static_cast<size_t>(s)] = sockets.socket[static_cast<size_t>(s)]->Revision();
    if (factsChipsRevision_ == chipsRevision_ && factsSocketRevisions_ == revisions) return false;
    for (int pin = 1; pin <= kSocketPins; ++pin) {
        occupied_[static_cast<size_t>(pin)] = Occupied(pin, sockets);
        orderMatters_[static_cast<size_t>(pin)] = OrderMatters(pin, sockets);
        limit_[static_cast<size_t>(pin)] = LimitTenths(pin);
    }
    factsChipsRevision_ = chipsRevision_;
    factsSocketRevisions_ = revisions;
    return true;
}

void Electrical::Check(SimProgrammer& p) {
    const bool factsMoved = RefreshPinFacts(SuppliedSockets(p));
    Refresh();
    uint64_t settled = 0;
    // A pin whose state and facts are as at its last check gives nothing new.
    uint64_t pins = factsMoved ? kAllPins : unchecked_;
    unchecked_ = 0;
    while (pins != 0) {
        const int pin = std::countr_zero(pins);
        pins &= pins - 1;
        const PinState s = pins_[pin];
        const uint32_t sw = s.switches & kSupplySwitches;
        if (sw != switches_[pin] && orderMatters_[static_cast<size_t>(pin)])
            CheckSwitching(p, pin, sw & ~switches_[pin], switches_[pin] & ~sw);
        switches_[pin] = sw;
        switchedMask_ = sw != 0 ? switchedMask_ | (uint64_t{1} << pin) : switchedMask_ & ~(uint64_t{1} << pin);
        if (s.supplyMillivolts != supplyMv_[pin]) {
            supplyMv_[pin] = s.supplyMillivolts;
            steadyFrom_[pin] = p.NowUs() + ((sw & kSwitchStrongSupply) ? kStrongSettleUs : kSwitchSettleUs);
            pins_[pin].steadyFromUs = steadyFrom_[pin];
            settled |= uint64_t{1} << pin;
        }
        uint32_t now = 0;
        if (s.source == PinSource::Conflict) {
            if (s.Grounded()) {
                now |= kSupplyAndGround;
            } else {
                now |= kTwoSupplies;
            }
        }
        const int mv = s.supplyMillivolts;
        const bool occupied = occupied_[static_cast<size_t>(pin)];
        if (mv > 0 && !occupied) now |= kNoChip;
        const int limit = limit_[static_cast<size_t>(pin)];
        if (mv > 0 && limit != INT_MAX && mv > limit * 100) now |= kOverLimit;

        const uint32_t fresh = now & ~active_[pin];
        active_[pin] = now;
        if (fresh == 0) continue;
        const std::string where = "socket pin " + std::to_string(pin) + ": ";
        if (fresh & kSupplyAndGround) p.Violation(where + "supply and ground together");
        if (fresh & kTwoSupplies) {
            std::string names;
            for (uint32_t sw : {kSwitchSupplyA, kSwitchSupplyB, kSwitchStrongSupply, kSwitchProgramming}) {
                if (!(s.switches & sw)) continue;
                if (!names.empty()) names += " and ";
                names += SourceName(sw);
            }
            p.Violation(where + "two supplies fighting (" + names + ")");
        }
        if (fresh & kOverLimit) {
            p.Violation(where + Volts(mv) + " above the " + Volts(limit * 100) + " the chip takes");
        }
        if (fresh & kNoChip) p.Violation(where + Volts(mv) + " with no chip on the pin");
    }
    if (settled != 0) Moved(settled);
    if (const PinDriverPersonality* driver = p.PersonalityAs<PinDriverPersonality>()) {
        if (Socket* chips = ReachedSocket(p)) chips->SuppliesChanged(*driver);
    }
}

bool Electrical::OnWrite(SimProgrammer& p, uint8_t reg, uint8_t value) {
    prog_ = &p;
    switch (reg) {
    case 13:
        // Bits 4-6 are the ID-memory lines; a value with them is not the DAC's.
        if (value & 0x70) return false;
        if ((value & 0x80) && !(control_ & 0x80)) ++strobes_;
        control_ = value;
        return true;
    case 18:
        CheckDacWrite(p, control_ & 3, value);
        dac_[control_ & 3] = value;
        Changed(SuppliedMask() & kChannelReach.pins[control_ & 3]);
        Check(p);
        return true;
    case 25:
        if (value & 0xF0) return false;
        if (value & 8) {
            range_ = static_cast<uint8_t>(range_ | (1u << (value & 7)));
        } else {
            range_ = static_cast<uint8_t>(range_ & ~(1u << (value & 7)));
        }
        return true;
    case 26:
    case 27:
    case 28:
    case 29:
    case 30:
    case 31: {
        // Only the pins whose switch bit moved.
        uint64_t reach = 0;
        for (unsigned moved = static_cast<unsigned>(supplyA_[reg - 26] ^ value); moved != 0; moved &= moved - 1)
            reach |= kReach.supplyABit[reg - 26][std::countr_zero(moved)];
        supplyA_[reg - 26] = value;
        Changed(reach);
        Check(p);
        return true;
    }
    default:
        return false;
    }
}

bool Electrical::OnLatchBit(SimProgrammer& p, uint8_t reg, uint8_t bit, bool state) {
    prog_ = &p;
    if (reg < 16 || reg > 29) return false;
    if (state) {
        latch_[reg] = static_cast<uint8_t>(latch_[reg] | (1u << bit));
    } else {
        latch_[reg] = static_cast<uint8_t>(latch_[reg] & ~(1u << bit));
    }
    Changed(kReach.latch[reg][bit & 7]);
    Check(p);
    return true;
}

void Electrical::OnUnconfigure(SimProgrammer& p) {
    prog_ = &p;
    // Unconfigured logic leaves every switch open and the DAC at zero.
    std::fill(std::begin(dac_), std::end(dac_), 0);
    std::fill(std::begin(latch_), std::end(latch_), 0);
    std::fill(std::begin(supplyA_), std::end(supplyA_), 0);
    control_ = 0;
    range_ = 0;
    active_.fill(0);
    switches_.fill(0);
    switchedMask_ = 0;
    supplyMv_.fill(0);
    std::fill(std::begin(slewReported_), std::end(slewReported_), false);
    std::fill(std::begin(paceReported_), std::end(paceReported_), false);
    std::fill(std::begin(lastRiseUs_), std::end(lastRiseUs_), uint64_t{0});
    std::fill(std::begin(rampFromBottom_), std::end(rampFromBottom_), true);
    Changed(kAllPins);
    unchecked_ = kAllPins; // every pin is checked afresh against the cleared state
}

Electrical* AddElectrical(SimProgrammer& programmer) {
    auto e = std::make_unique<Electrical>();
    Electrical* raw = e.get();
    programmer.AddComponent(std::move(e));
    return raw;
}

} // namespace sim
