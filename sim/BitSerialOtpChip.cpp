#include "sim/BitSerialOtpChip.h"

namespace sim {

namespace {
constexpr int kData = 1, kOeVpp = 2, kVcc = 3, kGnd = 4, kPgm = 5, kClk = 6, kReset = 7, kCe = 8;
} // namespace

BitSerialOtpChip::BitSerialOtpChip(const BitSerialOtpFacts& facts)
    : SerialChipBase(facts.name, facts.supply, kGnd, kVcc), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
    AllowRaised(kOeVpp, 140);
}

void BitSerialOtpChip::PowerLost() {
    counter_ = 0;
    clk_ = pgm_ = out_ = pulseWithVpp_ = false;
}

void BitSerialOtpChip::PinsChanged(const PinEnvironment& env) {
    const bool ce = env.InputLevel(Socket(kCe)) != 0;
    const bool clk = env.InputLevel(Socket(kClk)) != 0;
    const bool rising = clk && !clk_;
    clk_ = clk;
    const int oeTenths = env.VoltageTenths(Socket(kOeVpp));
    const bool vpp = oeTenths >= facts_.vppMinTenths;
    const bool pgm = env.InputLevel(Socket(kPgm)) != 0;
    if (pgm && !pgm_) {
        pgmSinceUs_ = env.NowUs();
        pulseWithVpp_ = vpp;
    }
    if (pgm && !vpp) pulseWithVpp_ = false; // the level must last the whole pulse
    const uint32_t bits = static_cast<uint32_t>(cells_.size()) * 8;
    if (!pgm && pgm_ && ce && pulseWithVpp_ && env.NowUs() - pgmSinceUs_ >= facts_.pulseUs && counter_ < bits) {
        ++pulses_;
        if (env.InputLevel(Socket(kData)) == 0) cells_[counter_ / 8] &= static_cast<uint8_t>(~(1u << (counter_ % 8)));
    }
    pgm_ = pgm;
    if (!ce) {
        out_ = false;
        return;
    }
    if (env.InputLevel(Socket(kReset)) != 0) {
        counter_ = 0;
    } else if (rising && counter_ < bits) {
        ++counter_;
    }
    out_ = !vpp && env.InputLevel(Socket(kOeVpp)) == 0;
}

ChipDrive BitSerialOtpChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    (void)env;
    if (chipPin != kData || !out_) return ChipDrive::None;
    const uint32_t bits = static_cast<uint32_t>(cells_.size()) * 8;
    if (counter_ >= bits) return ChipDrive::High;
    return ((ReadCell(counter_ / 8) >> (counter_ % 8)) & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
