#include "sim/TextIdConfigOldChip.h"

namespace sim {

namespace {
constexpr int kData = 1, kClk = 2, kOe = 3, kCs = 4, kGnd = 5, kCasc = 6, kVpp = 7;
constexpr int kHighVoltageTenths = 110, kProbeLowTenths = 90;
constexpr uint32_t kIdBytes = 9;
constexpr uint32_t kIdTextChanged = 6;
} // namespace

TextIdConfigOldChip::TextIdConfigOldChip(const TextIdConfigOldFacts& facts)
    : SerialChipBase(facts.name, facts.supply, kGnd), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
    for (int pin : {kOe, kCs, kVpp}) AllowRaised(pin, 145);
}

void TextIdConfigOldChip::PowerLost() {
    idMode_ = commandOpen_ = reading_ = probe_ = csLow_ = pulseWithVpp_ = false;
    pointer_ = command_ = 0;
    latch_ = 0xFF;
    bit_ = 0;
    clk_ = casc_ = false;
}

uint8_t TextIdConfigOldChip::ByteUnderPointer() const {
    if (idMode_) {
        if (pointer_ >= idText_.size()) return 0;
        // Another part's text differs in its last identifying character.
        const bool another = AnswersAnotherIdentity() && pointer_ == kIdTextChanged;
        return static_cast<uint8_t>(idText_[pointer_] ^ (another ? 1 : 0));
    }
    return pointer_ < cells_.size() ? ReadCell(pointer_) : 0xFF;
}

void TextIdConfigOldChip::PinsChanged(const PinEnvironment& env) {
    const int oeTenths = env.VoltageTenths(Socket(kOe));
    const int csTenths = env.VoltageTenths(Socket(kCs));
    const int vppTenths = env.VoltageTenths(Socket(kVpp));
    const bool oeHigh = oeTenths >= kHighVoltageTenths, csHigh = csTenths >= kHighVoltageTenths;
    const bool oe = env.InputLevel(Socket(kOe)) != 0, cs = env.InputLevel(Socket(kCs)) != 0;
    const bool clk = env.InputLevel(Socket(kClk)) != 0;
    const bool data = env.InputLevel(Socket(kData)) != 0;
    const bool rising = clk && !clk_, falling = !clk && clk_;
    clk_ = clk;

    // Commands under high voltage on OE.
    if (oeHigh) {
        if (!commandOpen_) command_ = 0;
        commandOpen_ = true;
        if (rising) command_ = ((command_ << 1) | (data ? 1u : 0u)) & 0x7FFF;
    } else if (commandOpen_) {
        commandOpen_ = false;
        if (command_ == 0x6802 || command_ == 0) {
            idMode_ = command_ == 0x6802;
            pointer_ = 0;
        }
    }

    // Reading.
    const bool reading = csHigh && !oe;
    if (reading && !reading_) bit_ = 0;
    reading_ = reading;
    if (reading && falling && bit_ < 8) ++bit_;

    // The byte latch and the program pulse.
    if (!oeHigh && !csHigh && oe && cs && rising)
        latch_ = static_cast<uint8_t>((latch_ >> 1) | (data ? 0x80 : 0));
    const bool vpp = vppTenths >= facts_.vppMinTenths;
    const bool csLow = !cs && !csHigh;
    if (csLow && !csLow_) {
        csLowSinceUs_ = env.NowUs();
        pulseWithVpp_ = vpp;
    }
    if (csLow && !vpp) pulseWithVpp_ = false;
    if (!csLow && csLow_ && pulseWithVpp_ && env.NowUs() - csLowSinceUs_ >= facts_.pulseUs) {
        pulseWidths_.push_back(env.NowUs() - csLowSinceUs_);
        const auto slow = slow_.find(pointer_);
        const bool late = slow != slow_.end() && ++given_[pointer_] < slow->second;
        if (!neverPrograms_ && !late && !idMode_ && pointer_ < cells_.size()) cells_[pointer_] &= latch_;
    }
    csLow_ = csLow;

    // The pointer steps on /CASC rising.
    const bool casc = env.InputLevel(Socket(kCasc)) != 0;
    if (casc && !casc_) {
        const uint32_t end = idMode_ ? kIdBytes : static_cast<uint32_t>(cells_.size());
        if (pointer_ < end) ++pointer_;
    }
    casc_ = casc;

    probe_ = vppTenths >= kProbeLowTenths && vppTenths < kHighVoltageTenths && !oeHigh && !csHigh;
}

ChipDrive TextIdConfigOldChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    (void)env;
    if (chipPin != kData) return ChipDrive::None;
    if (reading_) return bit_ < 8 && ((ByteUnderPointer() >> bit_) & 1) != 0 ? ChipDrive::High : ChipDrive::Low;
    if (probe_) return ChipDrive::Low;
    return ChipDrive::None;
}

} // namespace sim
