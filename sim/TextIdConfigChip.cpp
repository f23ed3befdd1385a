#include "sim/TextIdConfigChip.h"

namespace sim {

namespace {
constexpr int kData = 1, kClk = 2, kOe = 3, kCs = 4, kGnd = 5, kCasc = 6, kVpp = 7;
constexpr uint32_t kOptionBits = 38, kOptionZeros = 33;
constexpr uint32_t kIdTextChanged = 6;
} // namespace

TextIdConfigChip::TextIdConfigChip(const TextIdConfigFacts& facts)
    : SerialChipBase(facts.name, facts.supply, kGnd), facts_(facts) {
    cells_.assign(facts.bytes, 0xFF);
    AllowRaised(kVpp, 140);
}

void TextIdConfigChip::PowerLost() {
    phase_ = Phase::Idle;
    opcode_ = opBits_ = bits_ = shift_ = 0;
    optionShift_ = 0;
    oe_ = clk_ = addressValid_ = atId_ = wordDone_ = out_ = awake_ = false;
    address_ = 0;
    word_ = 0xFFFFFFFF;
    wordBytes_ = 0;
    pending_ = Pending::None;
}

uint8_t TextIdConfigChip::ByteAt(uint32_t address) const {
    if (atId_) {
        const uint32_t k = address - facts_.idAddress;
        if (k >= idText_.size()) return 0;
        // Another part's text differs in its last identifying character.
        const bool another = AnswersAnotherIdentity() && k == kIdTextChanged;
        return static_cast<uint8_t>(idText_[k] ^ (another ? 1 : 0));
    }
    return address < cells_.size() ? ReadCell(address) : 0xFF;
}

bool TextIdConfigChip::WordReady() const {
    if (wordBytes_ != 4) return false;
    for (uint32_t i = 0; i < 4; ++i) {
        if (ByteAt(address_ + i) != ((word_ >> (8 * i)) & 0xFF)) return false;
    }
    return true;
}

void TextIdConfigChip::Pulse(uint64_t widthUs, bool programming) {
    if (!programming || widthUs < facts_.pulseUs) return;
    ++pulses_;
    if (neverPrograms_) return;
    if (pending_ == Pending::Options) options_ &= pendingOptions_;
    if (pending_ == Pending::Word && wordBytes_ == 4 && addressValid_ && !atId_) {
        for (uint32_t i = 0; i < 4 && address_ + i < cells_.size(); ++i)
            cells_[address_ + i] &= static_cast<uint8_t>(word_ >> (8 * i));
    }
}

// One rising DCLK under the running command.
void TextIdConfigChip::Rising(bool data, bool send) {
    ++bits_;
    switch (opcode_) {
    case 1:
        shift_ |= (data ? 1u : 0u) << (bits_ - 1);
        addressValid_ = bits_ == 10 + facts_.extBits;
        if (addressValid_) {
            atId_ = shift_ == facts_.idAddress;
            address_ = shift_;
            wordDone_ = false;
        }
        break;
    case 3:
        if (!send || !addressValid_) break;
        level_ = ((ByteAt(address_ + (bits_ - 1) / 8) >> ((bits_ - 1) % 8)) & 1) != 0;
        break;
    case 4:
        if (send) break;
        if (bits_ == 1 && wordDone_) {
            address_ += 4;
            wordDone_ = false;
        }
        if (bits_ == 1) word_ = 0, wordBytes_ = 0;
        if (bits_ <= 32) word_ |= (data ? 1u : 0u) << (bits_ - 1);
        wordBytes_ = bits_ / 8 > 4 ? 0 : bits_ / 8;
        pending_ = Pending::Word;
        break;
    case 7:
        if (send) {
            const uint32_t k = bits_ - 1;
            level_ = k >= kOptionZeros && k < kOptionZeros + 4 && ((options_ >> (3 - (k - kOptionZeros))) & 1) != 0;
            break;
        }
        optionShift_ = (optionShift_ << 1) | (data ? 1 : 0);
        if (bits_ == kOptionBits && (optionShift_ >> 4) == (uint64_t{1} << kOptionZeros)) {
            pending_ = Pending::Options;
            pendingOptions_ = static_cast<uint8_t>(optionShift_ & 0x0F);
        } else if (bits_ >= kOptionBits) {
            pending_ = Pending::None;
        }
        break;
    default:
        break;
    }
}

void TextIdConfigChip::PinsChanged(const PinEnvironment& env) {
    const bool casc = env.InputLevel(Socket(kCasc)) != 0;
    const bool send = env.InputLevel(Socket(kCs)) != 0;
    const bool oe = env.InputLevel(Socket(kOe)) != 0;
    const bool clk = env.InputLevel(Socket(kClk)) != 0;
    const bool data = env.InputLevel(Socket(kData)) != 0;
    const bool programming = env.VoltageTenths(Socket(kVpp)) >= facts_.vppMinTenths;
    // The levels found at power-up are no edges.
    const bool oeRose = oe && !oe_ && awake_, oeFell = !oe && oe_ && awake_;
    const bool clkRose = clk && !clk_ && awake_;
    awake_ = true;
    oe_ = oe;
    clk_ = clk;
    if (!casc) {
        phase_ = Phase::Idle;
        out_ = false;
        return;
    }
    if (oeFell && phase_ == Phase::Running && opcode_ == 6) Pulse(env.NowUs() - pulseFromUs_, pulseVpp_ && programming);
    if (oeRose) {
        if (phase_ == Phase::Opcode && opBits_ < 3) {
            opcode_ = (opcode_ << 1) | (data ? 1 : 0);
            ++opBits_;
        } else if (phase_ == Phase::Opcode) {
            phase_ = Phase::Running;
            bits_ = shift_ = 0;
            optionShift_ = 0;
            if (opcode_ == 1) addressValid_ = false;
            pulseFromUs_ = env.NowUs();
            pulseVpp_ = programming;
        } else {
            phase_ = Phase::Opcode;
            opcode_ = data ? 1 : 0;
            opBits_ = 1;
        }
    }
    if (phase_ == Phase::Running && clkRose) Rising(data, send);
    // The readiness query: opcode 4 held without its start.
    const bool query = phase_ == Phase::Opcode && opBits_ == 3 && opcode_ == 4;
    if (query && send) {
        level_ = WordReady();
        wordDone_ = wordDone_ || level_;
    }
    out_ = send && (query || (phase_ == Phase::Running && (opcode_ == 3 || opcode_ == 7)));
}

ChipDrive TextIdConfigChip::PoweredOutput(const PinEnvironment& env, int chipPin) const {
    (void)env;
    if (chipPin != kData || !out_) return ChipDrive::None;
    return level_ ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
