#include "sim/ConfigPromChip.h"

namespace sim {

namespace {
constexpr int kData = 1, kClk = 2, kResetOe = 3, kCe = 4, kGnd = 5, kEntry = 6, kVpp = 7;
constexpr int kEntryTenths = 110;
} // namespace

ConfigPromChip::ConfigPromChip(const ConfigPromFacts& facts)
    : SerialChipBase(facts.name, facts.supply, kGnd), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
    AllowRaised(kVpp, 140);
}

void ConfigPromChip::PowerLost() {
    programMode_ = false;
    entryStep_ = 0;
    pin6_ = clk_ = vppHigh_ = vppRoseInMode_ = readState_ = out_ = false;
    bit_ = -1;
    page_ = 0;
    latch_.clear();
}

bool ConfigPromChip::PageBit(uint32_t page, uint32_t bit) const {
    const uint32_t byte = bit / 8;
    uint8_t v = 0xFF;
    if (page == facts_.idPage) {
        if (byte == 0) v = facts_.makerCode;
        if (byte == 1) v = facts_.deviceCode ^ (AnswersAnotherIdentity() ? 0x10 : 0);
    } else if (page == facts_.polarityPage) {
        if (byte == 0) v = activeLow_ ? 1 : 0;
    } else {
        const uint64_t at = uint64_t{page} * facts_.pageBytes + byte;
        if (at < cells_.size()) v = ReadCell(static_cast<uint32_t>(at));
    }
    return ((v >> (7 - bit % 8)) & 1) != 0;
}

void ConfigPromChip::Pulse(uint64_t widthUs) {
    if (widthUs < facts_.pulseUs) return;
    ++pulses_;
    if (neverPrograms_) return;
    const size_t n = size_t{facts_.pageBytes} * 8;
    std::vector<bool> bits(n, true);
    const size_t have = std::min(latch_.size(), n);
    for (size_t i = 0; i < have; ++i) bits[n - have + i] = latch_[latch_.size() - have + i];
    if (page_ == facts_.polarityPage) {
        for (bool b : bits) {
            if (!b) activeLow_ = true;
        }
        return;
    }
    const uint64_t first = uint64_t{page_} * facts_.pageBytes;
    if (first >= cells_.size()) return;
    for (uint32_t i = 0; i < facts_.pageBytes && first + i < cells_.size(); ++i) {
        uint8_t v = 0;
        for (int b = 0; b < 8; ++b) v = static_cast<uint8_t>(v << 1 | (bits[i * 8 + b] ? 1 : 0));
        cells_[first + i] &= v;
    }
}

void ConfigPromChip::PinsChanged(const PinEnvironment& env) {
    const bool clk = env.InputLevel(Socket(kClk)) != 0;
    const bool rising = clk && !clk_;
    clk_ = clk;
    const bool ce = env.InputLevel(Socket(kCe)) != 0;
    const bool oe = env.InputLevel(Socket(kResetOe)) != 0;
    const int vpp = env.VoltageTenths(Socket(kVpp));

    // Programming-mode entry: pin 6 high, low, high under the entry level.
    const bool pin6 = env.InputLevel(Socket(kEntry)) != 0;
    if (pin6 != pin6_) {
        if (vpp < kEntryTenths) {
            entryStep_ = 0;
        } else if (pin6 == (entryStep_ % 2 == 0)) {
            if (++entryStep_ == 3 && !programMode_) {
                programMode_ = true;
                page_ = 0;
                latch_.clear();
            }
        }
        pin6_ = pin6;
    }
    // Programming pulses: the time VPP stays at the programming level.
    const bool vppHigh = vpp >= facts_.vppMinTenths;
    if (vppHigh && !vppHigh_) {
        vppSinceUs_ = env.NowUs();
        vppRoseInMode_ = programMode_;
    } else if (!vppHigh && vppHigh_ && vppRoseInMode_ && programMode_) {
        Pulse(env.NowUs() - vppSinceUs_);
    }
    vppHigh_ = vppHigh;

    if (!programMode_) {
        const bool reset = activeLow_ ? !oe : oe;
        if (reset) {
            bit_ = -1;
            out_ = false;
            return;
        }
        if (ce) {
            out_ = false;
            return;
        }
        if (rising) {
            ++bit_;
            level_ = ((ReadCell(static_cast<uint32_t>((bit_ / 8) % cells_.size())) >> (7 - bit_ % 8)) & 1) != 0;
        }
        out_ = bit_ >= 0;
        return;
    }
    const bool read = !ce && oe;
    if (read && !readState_) {
        bit_ = -1;
        level_ = activeLow_;
    }
    readState_ = read;
    out_ = read;
    if (!rising) return;
    if (read) {
        ++bit_;
        level_ = PageBit(page_, static_cast<uint32_t>(bit_));
    } else if (ce && !oe) {
        ++page_;
        latch_.clear();
    } else if (ce && oe) {
        latch_.push_back(env.InputLevel(Socket(kData)) != 0);
        if (latch_.size() > 4096) latch_.erase(latch_.begin(), latch_.begin() + 2048);
    }
}

ChipDrive ConfigPromChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    (void)env;
    if (chipPin != kData || !out_) return ChipDrive::None;
    return level_ ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
