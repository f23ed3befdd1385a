#include "sim/StatusPageFlashChip.h"

#include <algorithm>

namespace sim {

namespace {
constexpr int kProtectTenthsMin = 115, kProtectTenthsMax = 130;
constexpr uint8_t kReady = 0x80, kEraseError = 0x20, kProgramError = 0x10;
} // namespace

StatusPageFlashChip::StatusPageFlashChip(const StatusPageFlashFacts& facts)
    : facts_(facts), pins_(DipSocketPins(facts.pinCount)), memory_(facts.words, 0xFF) {}

ChipPinLimits StatusPageFlashChip::Limits() const {
    ChipPinLimits l = DipPinLimits(facts_.name, facts_.pinCount);
    if (facts_.protectPin != 0) l.Allow(pins_[static_cast<size_t>(facts_.protectPin - 1)], kProtectTenthsMax);
    return l;
}

int StatusPageFlashChip::Level(const PinEnvironment& env, int chipPin) const {
    return env.InputLevel(pins_[static_cast<size_t>(chipPin - 1)]);
}

bool StatusPageFlashChip::PoweredNow(const PinEnvironment& env) const {
    for (int v : facts_.pins.vcc) {
        if (!facts_.vcc.Holds(env.VoltageTenths(pins_[static_cast<size_t>(v - 1)]))) return false;
    }
    return std::all_of(facts_.pins.gnd.begin(), facts_.pins.gnd.end(),
                       [&](int g) { return env.HeldLow(pins_[static_cast<size_t>(g - 1)]); });
}

// A page load whose window ran out starts its program cycle.
void StatusPageFlashChip::Settle(uint64_t now) {
    if (load_.loading && load_.Lapsed(now, facts_.loadWindowUs)) Commit(load_.lastUs + facts_.loadWindowUs);
}

void StatusPageFlashChip::Commit(uint64_t start) {
    armed_ = false;
    load_.loading = false;
    pageWrites_.push_back(load_.page);
    mode_ = Mode::Status;
    busyUntil_ = start + facts_.writeUs;
    status_ = kReady;
    if (protected_.count(load_.page / facts_.sectorBytes) != 0) {
        status_ |= kProgramError;
        return;
    }
    for (uint32_t i = 0; i < load_.words.size(); ++i) {
        const uint32_t a = load_.page + i;
        if (load_.words[i] < 0 || a >= memory_.size()) continue;
        const uint8_t want = static_cast<uint8_t>(load_.words[i]);
        if (stuck_.count(a) != 0) {
            if (memory_[a] != want) status_ |= kProgramError;
            continue;
        }
        memory_[a] &= want;
        if (memory_[a] != want) status_ |= kProgramError;
    }
}

void StatusPageFlashChip::Write(uint32_t a, uint8_t d, uint64_t now, bool highVoltage) {
    cycles_.push_back({a, d});
    Settle(now);
    if (now < busyUntil_) return; // the internal cycle takes no writes
    if (armed_ || load_.loading) {
        load_.Add(a, d, now, facts_.pageBytes);
        return;
    }
    auto is = [&](uint32_t address, uint8_t command) { return (a & 0xFFFF) == address && d == command; };
    if (step_ == 0) {
        step_ = is(facts_.firstCommand, 0xAA) ? 1 : 0;
        if (step_ == 0) erasePrefix_ = protectPrefix_ = false;
        return;
    }
    if (step_ == 1) {
        step_ = is(facts_.secondCommand, 0x55) ? 2 : 0;
        if (step_ == 0) erasePrefix_ = protectPrefix_ = false;
        return;
    }
    step_ = 0;
    if (protectPrefix_) {
        protectPrefix_ = false;
        if (d != 0x20 && d != 0x40) return;
        const uint32_t sector = a / facts_.sectorBytes;
        mode_ = Mode::Status;
        busyUntil_ = now + facts_.protectUs;
        status_ = kReady;
        if (!highVoltage) {
            status_ |= kProgramError;
            return;
        }
        SetSectorProtected(sector, d == 0x20);
        return;
    }
    if (erasePrefix_) {
        erasePrefix_ = false;
        if (!is(facts_.firstCommand, 0x10)) return;
        bool left = false;
        for (uint32_t w = 0; w < memory_.size(); ++w) {
            if (protected_.count(w / facts_.sectorBytes) != 0) continue;
            if (unerased_.count(w) != 0 && memory_[w] != 0xFF) {
                left = true;
                continue;
            }
            memory_[w] = 0xFF;
        }
        ++chipErases_;
        mode_ = Mode::Status;
        status_ = left ? kReady | kEraseError : kReady;
        busyUntil_ = eraseHangs_ ? UINT64_MAX : now + facts_.eraseUs;
        return;
    }
    if ((a & 0xFFFF) != facts_.firstCommand) return;
    switch (d) {
    case 0x90: mode_ = Mode::Id; break;
    case 0xF0: mode_ = Mode::Array; break;
    case 0x70: mode_ = Mode::Status; break;
    case 0x50: status_ = kReady; break;
    case 0xA0:
        armed_ = true;
        load_.lastUs = now;
        break;
    case 0x80: erasePrefix_ = true; break;
    case 0x60: protectPrefix_ = true; break;
    default: break;
    }
}

uint8_t StatusPageFlashChip::ReadByte(uint64_t now) const {
    if (now < busyUntil_) return static_cast<uint8_t>(status_ & ~kReady);
    if (mode_ == Mode::Id || highVoltage_) {
        // The codes; with 12 V on the protect pin without the command too.
        // The sector's code answers with A1 high and A0 low anywhere in it.
        const uint32_t word = address_ >> facts_.addressShift;
        if (word == 0) return static_cast<uint8_t>(facts_.makerCode);
        if (word == 1) return static_cast<uint8_t>(facts_.deviceCode);
        if ((word & 3) == 2) return protected_.count(address_ / facts_.sectorBytes) != 0 ? 0xC2 : 0x00;
        if (mode_ == Mode::Id) return 0x00;
    }
    if (mode_ == Mode::Status) return status_;
    return address_ < memory_.size() ? memory_[address_] : 0xFF;
}

void StatusPageFlashChip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    if (!PoweredNow(env)) {
        if (powered_) {
            load_.loading = armed_ = erasePrefix_ = protectPrefix_ = false;
            step_ = 0;
            mode_ = Mode::Array;
            busyUntil_ = 0;
            status_ = kReady;
        }
        powered_ = writeActive_ = readActive_ = false;
        return;
    }
    powered_ = true;
    Settle(now);
    const FlashPinout& p = facts_.pins;
    const bool ce = Level(env, p.ce) == 0, oe = Level(env, p.oe) == 0, we = Level(env, p.we) == 0;
    uint32_t a = 0;
    for (size_t i = 0; i < p.address.size(); ++i) a |= static_cast<uint32_t>(Level(env, p.address[i]) == 1) << i;
    address_ = a & static_cast<uint32_t>(memory_.size() - 1);
    highVoltage_ = false;
    if (facts_.protectPin != 0) {
        const int t = env.VoltageTenths(pins_[static_cast<size_t>(facts_.protectPin - 1)]);
        highVoltage_ = t >= kProtectTenthsMin && t <= kProtectTenthsMax;
    }
    const bool w = ce && we && !oe;
    if (writeActive_ && !w) {
        if (p.byteMode != 0 && Level(env, p.byteMode) != 0) env.Violation(facts_.name + ": write cycle with BYTE# high");
        uint8_t d = 0;
        for (size_t i = 0; i < 8 && i < p.data.size(); ++i) d |= static_cast<uint8_t>((Level(env, p.data[i]) == 1) << i);
        Write(address_, d, now, highVoltage_);
    }
    writeActive_ = w;
    const bool r = ce && oe && !we;
    if (r && !readActive_ && load_.loading) Commit(now);
    readActive_ = r;
}

ChipDrive StatusPageFlashChip::Output(const PinEnvironment& env, int socketPin) const {
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

void StatusPageFlashChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    for (size_t i = 0; i < n; ++i) out[i] = ChipDrive::None;
    if (!powered_ || !readActive_ || !PoweredNow(env)) return;
    const auto& data = facts_.pins.data;
    const uint8_t byte = ReadByte(env.NowUs());
    for (size_t i = 0; i < n; ++i) {
        const int chipPin = ChipPinAt(socketPins[i]);
        const auto it = std::find(data.begin(), data.begin() + std::min<ptrdiff_t>(8, static_cast<ptrdiff_t>(data.size())), chipPin);
        if (it == data.begin() + std::min<ptrdiff_t>(8, static_cast<ptrdiff_t>(data.size()))) continue;
        out[i] = (byte >> (it - data.begin())) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

} // namespace sim
