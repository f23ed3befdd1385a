#include "sim/TextListChip.h"

#include <numeric>
#include <string>

namespace sim {

namespace {

constexpr int kTolerance = 2;
constexpr int kVppMaxTenths = 130;
constexpr int kLowVppTenths = 60; // LE latches a mode code below this
constexpr uint64_t kProgramPulseUs = 100;
constexpr uint64_t kErasePulse253Us = 100000, kErasePulse254Us = 200000;
constexpr size_t kLogLimit = 1u << 16;

const TextListChip::Pins k44V0{{31, 32, 35, 36, 37, 38, 39, 40, 10, 11, 13, 14, 15, 16, 1, 2},
                               {20, 21, 22, 17, 24, 26, 27, 28}, {6, 9, 4, 5}, 44, 30, 3, 46, 43};
const TextListChip::Pins k44V1{{44, 46, 4, 9, 16, 17, 19, 26, 27, 28, 29, 30, 31, 32, 36, 1},
                               {10, 11, 13, 14, 15, 20, 21, 22}, {37, 38, 39, 40}, 6, 5, 3, 35, 43};
const TextListChip::Pins k84{{20, 19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5},
                             {21, 22, 23, 25, 26, 27, 28, 29}, {37, 38, 39, 40}, 36, 35, 41, 34, 1};

TextListChip::Pins PinsOf(TextListKind k) {
    switch (k) {
    case TextListKind::Row253Pin44V0: return k44V0;
    case TextListKind::Row253Pin44V1: return k44V1;
    case TextListKind::Row253Pin84: return k84;
    case TextListKind::Row254Pin44V0: {
        TextListChip::Pins p = k44V0;
        p.address[13] = 47;
        return p;
    }
    case TextListKind::Row254Pin44V1: {
        TextListChip::Pins p = k44V1;
        p.address[14] = p.address[15] = 2;
        return p;
    }
    }
    return k44V0;
}

bool Low(TextListKind k) { return k == TextListKind::Row254Pin44V0 || k == TextListKind::Row254Pin44V1; }

std::vector<int> AllSocketPins() {
    std::vector<int> p(48);
    std::iota(p.begin(), p.end(), 1);
    return p;
}

// Supply and ground as the programmer routes them: the 44-pin set-ups take
// the package's (VCC on 23 and 34, ground on 12, 25, 33), the 84-pin one
// VCC on 48 and ground on 24.
int VccPinOf(TextListKind k) { return k == TextListKind::Row253Pin84 ? 48 : 23; }
std::vector<int> GroundsOf(TextListKind k) {
    if (k == TextListKind::Row253Pin84) return {24};
    return {12, 25, 33};
}

} // namespace

TextListChip::TextListChip(const TextListFacts& facts)
    : CellArrayChip(facts.name, AllSocketPins(), kWords * 8, VccPinOf(facts.kind), GroundsOf(facts.kind),
                    Low(facts.kind) ? 30 : 45),
      part_(facts),
      pins_(PinsOf(facts.kind)),
      lowKind_(Low(facts.kind)) {
    AllowPin(pins_.vpp, kVppMaxTenths);
}

uint8_t TextListChip::Word(uint32_t address) const {
    uint32_t v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= static_cast<uint32_t>(Cell(CellOf(address, bit))) << bit;
    return static_cast<uint8_t>(lowKind_ ? ~v : v);
}

void TextListChip::SetWord(uint32_t address, uint8_t value) {
    const uint8_t stored = lowKind_ ? static_cast<uint8_t>(~value) : value;
    for (int bit = 0; bit < 8; ++bit) SetCell(CellOf(address, bit), (stored >> bit) & 1);
}

bool TextListChip::Vpp(const PinEnvironment& env, int tenths) const {
    return Within(Volts(env, pins_.vpp), tenths, kTolerance);
}

bool TextListChip::ReadLevel(const PinEnvironment& env) const {
    static constexpr int k253[5] = {33, 35, 52, 66, 70};
    static constexpr int k254[4] = {16, 19, 33, 55};
    if (lowKind_) {
        for (int t : k254)
            if (Vpp(env, t)) return true;
        return false;
    }
    for (int t : k253)
        if (Vpp(env, t)) return true;
    return false;
}

uint32_t TextListChip::Address(const PinEnvironment& env) const {
    uint32_t a = 0;
    for (int i = 0; i < 16; ++i) a |= static_cast<uint32_t>(Level(env, pins_.address[i])) << i;
    return a;
}

int TextListChip::Data(const PinEnvironment& env) const {
    int d = 0;
    for (int i = 0; i < 8; ++i) d |= Level(env, pins_.data[i]) << i;
    return d;
}

void TextListChip::Program(const PinEnvironment& env, uint32_t address, int data, bool setOnes) {
    if (writes_.size() < kLogLimit) writes_.push_back({address, data, Volts(env, pins_.vpp)});
    const auto need = needed_.find(address);
    if (++taken_[address] < (need == needed_.end() ? 1 : need->second)) return;
    for (int bit = 0; bit < 8; ++bit) {
        const int driven = (data >> bit) & 1;
        // Cells are stored erased 1; the 3.3 V kind stores them inverted.
        if (setOnes ? driven == 1 : driven == 0) WriteCell(CellOf(address, bit), 0);
    }
}

void TextListChip::Update(const PinEnvironment& env) {
    const bool powered = Powered(env);
    if (!powered) {
        if (Volts(env, pins_.vpp) >= 70) env.Violation(Name() + ": high voltage on VPP without VCC and ground");
        entered_ = false;
        mode_ = 0;
        leHigh_ = pgmLow_ = false;
        eraseStep_ = 0;
        pgm_.Stop(env.NowUs());
        return;
    }
    if (Level(env, pins_.hv) == 1 && Vpp(env, lowKind_ ? 80 : 113)) entered_ = true;
    const bool le = Level(env, pins_.le) == 1;
    if (le && !leHigh_ && entered_) {
        const int programLevel = part_.setB ? 86 : 75;
        if (lowKind_ && mode_ == 12 && Vpp(env, programLevel)) {
            Program(env, Address(env), Data(env), true);
        } else if (Volts(env, pins_.vpp) < kLowVppTenths) {
            int code = 0;
            for (int i = 0; i < 4; ++i) code |= Level(env, pins_.mode[i]) << i;
            if (code == 12 || code == 13) mode_ = code;
            else env.Violation(Name() + ": unknown mode code " + std::to_string(code));
        }
    }
    leHigh_ = le;
    const bool pgmLow = Level(env, pins_.pgm) == 0 && Level(env, pins_.hv) == 1;
    if (pgmLow && !pgmLow_) {
        pgm_.Start(env.NowUs());
        pgmAddress_ = Address(env);
    }
    if (!pgmLow && pgmLow_) {
        const uint64_t width = pgm_.Stop(env.NowUs());
        const int vpp = Volts(env, pins_.vpp);
        if (pulses_.size() < kLogLimit) pulses_.push_back({mode_, width, vpp, pgmAddress_});
        const int eraseLevel = lowKind_ ? (part_.setB ? 92 : 80) : 120;
        if (mode_ == 13 && Vpp(env, eraseLevel)) {
            if (lowKind_) {
                if (width >= kErasePulse254Us && !ignoreErase_) EraseAll();
            } else if (width >= kErasePulse253Us) {
                const uint32_t want = eraseStep_ == 0 ? 0x1010 : 0x10;
                eraseStep_ = pgmAddress_ == want ? eraseStep_ + 1 : 0;
                if (eraseStep_ == 2) {
                    eraseStep_ = 0;
                    if (!ignoreErase_) EraseAll();
                }
            }
        } else if (!lowKind_ && mode_ == 12 && Vpp(env, 110)) {
            if (width < kProgramPulseUs) env.Violation(Name() + ": program pulse shorter than 100 us");
            else Program(env, pgmAddress_, Data(env), false);
        }
    }
    pgmLow_ = pgmLow;
}

ChipDrive TextListChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    int bit = -1;
    for (int i = 0; i < 8; ++i)
        if (pins_.data[i] == socketPin) bit = i;
    if (bit < 0 || !entered_ || mode_ == 0 || Level(env, pins_.oe) != 0) return ChipDrive::None;
    if (!ReadLevel(env)) {
        env.Violation(Name() + ": read with VPP at " + std::to_string(Volts(env, pins_.vpp)) +
                      " (0.1 V), not a read level of the part");
        return ChipDrive::None;
    }
    const uint32_t a = Address(env);
    int word = Word(a);
    // Another part answers with bit 6 of its product code changed.
    const int product = part_.product ^ (AnswersAnotherIdentity() ? 0x40 : 0);
    if (lowKind_) {
        if (a == 0x18) word = maker_;
        if (a == 0x19) word = product;
        if (a == 0x1DA0) word = (part_.extra >> 2 & 3) << 6;
        if (a == 0x1DA1) word = (part_.extra & 3) << 6;
    } else {
        static constexpr uint32_t kMakerAt[4] = {0x28E, 0x24E, 0x20E, 0x1CE};
        static constexpr uint32_t kProductAt[4] = {0x18E, 0x14E, 0x10E, 0xCE};
        for (int i = 0; i < 4; ++i) {
            if (a == kMakerAt[i]) word = 0x3F | ((maker_ >> (2 * i)) & 3) << 6;
            if (a == kProductAt[i]) word = 0x3F | ((product >> (2 * i)) & 3) << 6;
        }
    }
    return (word >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
