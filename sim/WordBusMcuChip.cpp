#include "sim/WordBusMcuChip.h"

#include "sim/Catalog.h"

namespace sim {

namespace {

constexpr uint16_t kIdentityCommand = 0x0070;

} // namespace

WordBusMcuChip::WordBusMcuChip(const WordBusMcuFacts& facts) : facts_(facts) {
    pins_ = DipSocketPins(facts_.pinCount);
    cells_.assign(facts_.lastWord + 1, facts_.blank);
}

ChipPinLimits WordBusMcuChip::Limits() const {
    ChipPinLimits l;
    l.chip = facts_.name;
    l.socketPins = pins_;
    for (int p : facts_.vppPins)
        l.Allow(Pin(p), facts_.vppLimitTenths);
    return l;
}

bool WordBusMcuChip::InMode(const PinEnvironment& env) const {
    if (!facts_.vcc.Holds(env.VoltageTenths(Pin(facts_.vccPin)))) return false;
    if (!High(env, facts_.readyPin) || !High(env, facts_.poweredPin)) return false;
    uint32_t m = 0;
    for (int i = 0; i < 4; ++i)
        m |= static_cast<uint32_t>(High(env, facts_.mode[i])) << i;
    return m == 5;
}

uint16_t WordBusMcuChip::DataPins(const PinEnvironment& env) const {
    uint16_t d = 0;
    for (int bit = 0; bit < 16; ++bit)
        d |= static_cast<uint16_t>(High(env, facts_.data[bit]) << bit);
    return d;
}

uint16_t WordBusMcuChip::Answer() const {
    if (state_ == State::Identity) {
        if (secured_) return facts_.securedIdentity;
        // Another part's identity word differs in bit 0.
        return AnswersAnotherIdentity() ? static_cast<uint16_t>(facts_.identity ^ 0x0001) : facts_.identity;
    }
    if (secured_ || pointer_ < facts_.firstWord || pointer_ >= cells_.size()) return 0xFFFF;
    return cells_[pointer_];
}

ChipDrive WordBusMcuChip::Output(const PinEnvironment& env, int socketPin) const {
    if (bHigh_ || (state_ != State::Identity && state_ != State::Read) || !InMode(env))
        return ChipDrive::None;
    const int chipPin = ChipPinAt(socketPin);
    for (int bit = 0; bit < 16; ++bit) {
        if (facts_.data[bit] == chipPin) return (Answer() >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
    }
    return ChipDrive::None;
}

void WordBusMcuChip::Command(const PinEnvironment& env, uint16_t w) {
    if (w == kIdentityCommand) {
        state_ = State::Identity;
    } else if (w == facts_.readCommand) {
        state_ = State::Read;
        pointer_ = facts_.firstWord;
    } else if (w == facts_.programCommand) {
        state_ = State::Program;
        pointer_ = facts_.firstWord;
    } else {
        env.Violation(facts_.name + ": unknown command word " + std::to_string(w));
        return;
    }
    commands_.push_back(w);
}

void WordBusMcuChip::EndProgramPulse(const PinEnvironment& env) {
    const uint64_t width = env.NowUs() - bFellAt_;
    for (int p : facts_.vppPins) {
        if (!facts_.vpp.Holds(env.VoltageTenths(Pin(p)))) {
            env.Violation(facts_.name + ": program strobe without the programming voltage");
            return;
        }
    }
    if (width < facts_.minPulseUs) {
        env.Violation(facts_.name + ": program strobe of " + std::to_string(width) + " us");
        return;
    }
    if (pointer_ >= cells_.size()) {
        env.Violation(facts_.name + ": program strobe past the last word");
        return;
    }
    ++pulses_;
    ++pulsesAt_[pointer_];
    if (!secured_ && !stuck_.count(pointer_)) cells_[pointer_] &= DataPins(env);
    ++pointer_;
}

void WordBusMcuChip::Update(const PinEnvironment& env) {
    const bool a = High(env, facts_.strobeA);
    const bool b = High(env, facts_.strobeB);
    if (!InMode(env)) {
        state_ = State::Idle;
        aArmed_ = false;
    } else {
        if (!a && aHigh_) aArmed_ = b;
        if (a && !aHigh_) {
            if (aArmed_ && b && High(env, facts_.strobeC)) {
                Command(env, DataPins(env));
            } else {
                env.Violation(facts_.name + ": command strobe A out of order");
            }
            aArmed_ = false;
        }
        if (!b && bHigh_) bFellAt_ = env.NowUs();
        if (b && !bHigh_) {
            if (state_ == State::Read) {
                ++pointer_;
            } else if (state_ == State::Program) {
                EndProgramPulse(env);
            }
        }
    }
    aHigh_ = a;
    bHigh_ = b;
}

// ---- the parts ------------------------------------------------------------------------

namespace {

struct WordVariant {
    uint32_t lastWord;
    uint16_t identity;
};
// The parts of the row's identity table, by variant.
constexpr WordVariant kWordVariants[15] = {
    {0x4FFF, 0x87CA}, {0x27FF, 0x8797}, {0x2FFF, 0x8797}, {0x4FFF, 0x87AF}, {0x6FFF, 0x87BE},
    {0x1FFF, 0x898C}, {0x2FFF, 0x879C}, {0x4FFF, 0x879D}, {0x27FF, 0x8797}, {0x2FFF, 0x8797},
    {0x3FFF, 0x87AF}, {0x4FFF, 0x87AF}, {0x2FFF, 0x8794}, {0x2FFF, 0x8794}, {0x4FFF, 0x89DE},
};

// No programming datasheet of a part in this mode was found: the pin-out,
// command words and identities follow the algorithm row (followsRow). A
// 48-pin part seated in the whole socket: VCC on pin 44 and ground on 15 (the
// programmer's supply routing for the row), the programming voltage (12.5 V
// parts) on pins 5 and 35; the strobes and the mode group by the pin layout
// (`layout` 0-2).
WordBusMcuFacts WordPart(const std::string& name, int variant, int layout) {
    WordBusMcuFacts f;
    f.maker = "GENERIC-ALGORITHM";
    f.name = name;
    f.pinCount = 48;
    f.width = 16;
    f.blank = 0xFFFF;
    f.vccPin = 44;
    f.gndPins = {15};
    const int data[16] = {42, 41, 40, 39, 38, 37, 36, 33, 32, 31, 30, 29, 28, 27, 26, 25};
    for (int i = 0; i < 16; ++i)
        f.data[i] = data[i];
    constexpr int kModes[3][4] = {{10, 9, 8, 7}, {8, 9, 11, 10}, {11, 12, 13, 14}};
    constexpr int kStrobes[3][3] = {{13, 12, 11}, {13, 14, 24}, {9, 8, 7}}; // A, B, C
    for (int i = 0; i < 4; ++i)
        f.mode[i] = kModes[layout][i];
    f.strobeA = kStrobes[layout][0];
    f.strobeB = kStrobes[layout][1];
    f.strobeC = kStrobes[layout][2];
    f.readyPin = 16;
    f.poweredPin = 22;
    f.vppPins[0] = 5;
    f.vppPins[1] = 35;
    f.identity = kWordVariants[variant].identity;
    f.securedIdentity = static_cast<uint16_t>(~kWordVariants[variant].identity);
    f.lastWord = kWordVariants[variant].lastWord;
    f.words = f.lastWord + 1;
    if (variant == 5) {
        f.readCommand = 0x0000;
        f.programCommand = 0xA000;
    }
    f.note = "pin-out, command words, identities and word range taken from the algorithm row";
    f.followsRow = true;
    return f;
}

} // namespace

void AddWordBusMcuParts(std::vector<CatalogPart>& parts) {
    for (int v = 0; v < 15; ++v) {
        const WordBusMcuFacts f = WordPart("WORDBUS-V" + std::to_string(v), v, v % 3);
        parts.push_back(ChipPart<WordBusMcuChip>(f.maker, f));
    }
}

SIM_CATALOG_FAMILY(AddWordBusMcuParts);

} // namespace sim
