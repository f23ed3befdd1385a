#include "sim/PinMemoryChip.h"

#include <algorithm>

namespace sim {

namespace {
constexpr int kVccMinTenths = 45;
constexpr int kVccMaxTenths = 70;

uint8_t BcdAddSeconds(uint8_t bcd, uint64_t seconds) {
    const uint32_t v = ((bcd >> 4) & 7) * 10 + (bcd & 15);
    const uint32_t s = static_cast<uint32_t>((v + seconds) % 60);
    return static_cast<uint8_t>(((s / 10) << 4) | (s % 10));
}
} // namespace

PinMemoryChip::PinMemoryChip(PinMemoryConfig config)
    : cfg_(std::move(config)), socketPins_(DipSocketPins(cfg_.pinCount)), cells_(cfg_.words, cfg_.blank),
      programmedUs_(cfg_.words, 0), counted_(cfg_.words, 0) {
    cfg_.clockReadOnlyMask.resize(cfg_.clockCount, 0);
    cfg_.clockFixedBits.resize(cfg_.clockCount, 0);
    for (int p : cfg_.addressPins) addressSocket_.push_back(Socket(p));
    if (addressSocket_.size() > 32 || std::count(addressSocket_.begin(), addressSocket_.end(), 0) != 0)
        addressSocket_.clear();
    // A socket pin names the lowest chip pin on it; that pin's first data bit.
    std::fill(std::begin(dataBitAt_), std::end(dataBitAt_), int8_t{-1});
    for (int s = 1; s <= kSocketPins; ++s) {
        const auto pin = std::find(socketPins_.begin(), socketPins_.end(), s);
        if (pin == socketPins_.end()) continue;
        const int chipPin = static_cast<int>(pin - socketPins_.begin()) + 1;
        const auto bit = std::find(cfg_.dataPins.begin(), cfg_.dataPins.end(), chipPin);
        if (bit != cfg_.dataPins.end() && bit - cfg_.dataPins.begin() < 127)
            dataBitAt_[s] = static_cast<int8_t>(bit - cfg_.dataPins.begin());
    }
}

ChipPinLimits PinMemoryChip::Limits() const {
    ChipPinLimits l = DipPinLimits(cfg_.name, cfg_.pinCount);
    if (cfg_.kind == PinMemoryKind::Eprom && cfg_.vppPin != 0) l.Allow(Socket(cfg_.vppPin), cfg_.vppMaxTenths);
    return l;
}

int PinMemoryChip::Socket(int chipPin) const {
    return chipPin >= 1 && chipPin <= static_cast<int>(socketPins_.size())
               ? socketPins_[static_cast<size_t>(chipPin - 1)]
               : 0;
}

bool PinMemoryChip::Low(const PinEnvironment& env, int chipPin) const {
    return chipPin != 0 && env.InputLevel(Socket(chipPin)) == 0;
}

bool PinMemoryChip::Powered(const PinEnvironment& env) const {
    const int vcc = env.VoltageTenths(Socket(cfg_.vccPin));
    return vcc >= kVccMinTenths && vcc <= kVccMaxTenths && env.HeldLow(Socket(cfg_.gndPin));
}

bool PinMemoryChip::Enabled(const PinEnvironment& env) const {
    for (int p : cfg_.enableLow)
        if (!Low(env, p)) return false;
    for (int p : cfg_.enableHigh)
        if (Low(env, p)) return false;
    return Powered(env);
}

bool PinMemoryChip::AtVpp(const PinEnvironment& env) const {
    return cfg_.vppPin != 0 && env.VoltageTenths(Socket(cfg_.vppPin)) >= cfg_.vppMinTenths;
}

bool PinMemoryChip::ProgramActive(const PinEnvironment& env) const {
    if (cfg_.kind != PinMemoryKind::Eprom || !Enabled(env) || !AtVpp(env)) return false;
    if (cfg_.cePin != 0 && !Low(env, cfg_.cePin)) return false;
    return Low(env, cfg_.wePin) != cfg_.programActiveHigh;
}

bool PinMemoryChip::Driving(const PinEnvironment& env) const {
    if (!Enabled(env) || !Low(env, cfg_.oePin)) return false;
    if (cfg_.cePin != 0 && !Low(env, cfg_.cePin)) return false;
    if (cfg_.kind == PinMemoryKind::Eprom) return !ProgramActive(env);
    return !Low(env, cfg_.wePin);
}

uint32_t PinMemoryChip::AddressNow(const PinEnvironment& env) const {
    uint32_t a = 0;
    if (!addressSocket_.empty() || cfg_.addressPins.empty()) {
        a = env.HighLevels(addressSocket_.data(), addressSocket_.size());
    } else {
        for (size_t i = 0; i < cfg_.addressPins.size(); ++i)
            if (env.InputLevel(Socket(cfg_.addressPins[i])) != 0) a |= 1u << i;
    }
    if (cfg_.latchPin != 0) a = (a << 8) | lowAddress_;
    return a % cfg_.words;
}

uint8_t PinMemoryChip::DataNow(const PinEnvironment& env) const {
    uint8_t d = 0;
    for (size_t i = 0; i < cfg_.dataPins.size() && i < 8; ++i)
        if (env.InputLevel(Socket(cfg_.dataPins[i])) != 0) d = static_cast<uint8_t>(d | (1u << i));
    return d;
}

uint8_t PinMemoryChip::Cell(uint32_t address) const {
    address %= cfg_.words;
    const uint32_t r = address - cfg_.clockBase;
    if (address >= cfg_.clockBase && r < cfg_.clockCount) {
        uint8_t v = static_cast<uint8_t>((cells_[address] & ~cfg_.clockReadOnlyMask[r]) |
                                         (cfg_.clockFixedBits[r] & cfg_.clockReadOnlyMask[r]));
        // The oscillator runs while the stop bit (bit 7) of the seconds is 0.
        if (static_cast<int>(r) == cfg_.clockSeconds && (v & 0x80) == 0) {
            v = BcdAddSeconds(v, (nowUs_ - clockSetUs_) / 1000000);
        }
        return v;
    }
    return cells_[address];
}

void PinMemoryChip::SetCell(uint32_t address, uint8_t value) { cells_[address % cfg_.words] = value; }

bool PinMemoryChip::IsBlank() const {
    return std::all_of(cells_.begin(), cells_.end(), [&](uint8_t c) { return c == cfg_.blank; });
}

uint8_t PinMemoryChip::ReadCell(const PinEnvironment& env, uint32_t address) const {
    // At the margin a programmed cell needs its full programming time.
    if (cfg_.marginPin != 0 && Low(env, cfg_.marginPin) && programmedUs_[address] < cfg_.marginUs) return cfg_.blank;
    return Cell(address);
}

void PinMemoryChip::Store(uint32_t address, uint8_t value, uint64_t now) {
    ++writes_;
    if (stuck_.count(address) != 0) return;
    const uint32_t r = address - cfg_.clockBase;
    if (address >= cfg_.clockBase && r < cfg_.clockCount && static_cast<int>(r) == cfg_.clockSeconds) clockSetUs_ = now;
    cells_[address] = value;
}

// A chip erase: every cell FFh but a stuck one, which keeps its datum.
void PinMemoryChip::EraseAll() {
    for (uint32_t a = 0; a < cells_.size(); ++a)
        if (stuck_.count(a) == 0) cells_[a] = 0xFF;
    ++erases_;
}

void PinMemoryChip::EndPulse(uint64_t widthUs) {
    pulses_.push_back({pulseAddress_, pulseData_, widthUs});
    if (widthUs < cfg_.minPulseUs || stuck_.count(pulseAddress_) != 0) return;
    programmedUs_[pulseAddress_] += widthUs;
    auto n = needed_.find(pulseAddress_);
    if (++counted_[pulseAddress_] < (n != needed_.end() ? n->second : cfg_.pulsesNeeded)) return;
    uint8_t& c = cells_[pulseAddress_];
    c = cfg_.blank == 0xFF ? static_cast<uint8_t>(c & pulseData_) : static_cast<uint8_t>(c | pulseData_);
}

void PinMemoryChip::Update(const PinEnvironment& env) {
    const uint64_t now = env.NowUs();
    nowUs_ = now;
    if (!Powered(env)) {
        pulsing_ = weLow_ = eraseArmed_ = false;
        return;
    }
    if (cfg_.latchPin != 0) {
        const bool high = !Low(env, cfg_.latchPin);
        if (latchHigh_ && !high && !AtVpp(env)) {
            lowAddress_ = DataNow(env);
            ++latches_;
        }
        latchHigh_ = high;
    }
    if (cfg_.kind == PinMemoryKind::Eprom) {
        const bool active = ProgramActive(env);
        if (active && !pulsing_) {
            pulsing_ = true;
            pulseStart_ = now;
            pulseAddress_ = AddressNow(env);
            pulseData_ = DataNow(env);
        } else if (pulsing_ && (!active || AddressNow(env) != pulseAddress_ || DataNow(env) != pulseData_)) {
            pulsing_ = false;
            EndPulse(now - pulseStart_);
            if (active) Update(env);
        }
        return;
    }
    const bool ce = cfg_.cePin == 0 || Low(env, cfg_.cePin);
    const bool we = Low(env, cfg_.wePin);
    const bool oe = Low(env, cfg_.oePin);
    if (cfg_.ceStrobeErase && ce && !ceLow_ && we && oe) {
        eraseArmed_ = true;
        eraseStart_ = now;
    }
    if (we && !weLow_) {
        pulseStart_ = now;
        pulseAddress_ = AddressNow(env);
    }
    if (!we && weLow_) {
        const uint64_t width = now - pulseStart_;
        if (eraseArmed_) {
            if (now - eraseStart_ >= cfg_.eraseUs) {
                EraseAll();
            }
            eraseArmed_ = false;
        } else if (cfg_.kind == PinMemoryKind::Ram) {
            if (ce && !oe) Store(AddressNow(env), DataNow(env), now);
        } else if (ce && !oe) {
            if (cfg_.chipErasePin != 0 && Low(env, cfg_.chipErasePin)) {
                if (width >= cfg_.eraseUs) {
                    EraseAll();
                }
            } else {
                pulses_.push_back({pulseAddress_, DataNow(env), width});
                if (width >= cfg_.writeUs) Store(pulseAddress_, DataNow(env), now);
            }
        }
    }
    weLow_ = we;
    ceLow_ = ce;
}

ChipDrive PinMemoryChip::Output(const PinEnvironment& env, int socketPin) const {
    nowUs_ = env.NowUs();
    ChipDrive d = ChipDrive::None;
    Outputs(env, &socketPin, 1, &d);
    return d;
}

void PinMemoryChip::Outputs(const PinEnvironment& env, const int* socketPins, size_t n, ChipDrive* out) const {
    const uint8_t* map = ChipPinMap();
    bool timed = false, known = false, driving = false;
    uint8_t v = 0;
    for (size_t i = 0; i < n; ++i) {
        const int s = socketPins[i];
        out[i] = ChipDrive::None;
        if (ChipPinAt(map, s) == 0) continue;
        // Any pin of the part asked reads the clock registers at this time.
        if (!timed) {
            nowUs_ = env.NowUs();
            timed = true;
        }
        const int bit = dataBitAt_[s];
        if (bit < 0) continue;
        if (!known) {
            known = true;
            driving = Driving(env);
            if (driving) v = ReadCell(env, AddressNow(env));
        }
        if (driving) out[i] = (v >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
}

} // namespace sim
