#include "sim/ByteEpldChip.h"

namespace sim {

namespace {

constexpr int kPinCount = 24;
constexpr int kVccPin = 24, kGndPin = 12;
// The bias level within 0.2 V: no datasheet of these parts was found, so the
// window is the narrowest the programmer's DAC steps hold.
constexpr int kBiasTolerance = 2;
// The high level of the cell pulse (and of the strobe and read-enable pins
// where they take it): 16.0 V on the two ramped pin-outs, 14.7 V on the
// Bus200 one, within 0.3 V. No datasheet was found; the levels are those the
// rows give.
constexpr int kRampedHighTenths = 160, kBus200HighTenths = 147, kHighTolerance = 3;
// A pulse pin this high on an unpowered part is a violation.
constexpr int kUnpoweredHighTenths = 140;
constexpr int kPinMaxTenths = 170;
constexpr uint64_t kCellPulseUs = 10000;
constexpr uint64_t kErasePulseUs = 100000;
constexpr uint64_t kSecurePulseUs = 300000;
constexpr int kReadMode = 1, kProgramMode = 3;
constexpr int kEraseModes[3] = {0, 2, 0};
constexpr size_t kLogLimit = 1u << 16;

// Chip pins of the pin-outs (0: none).
const ByteEpldChip::Pins k311{{14, 15, 16, 17, 18, 19, 20, 21}, {9, 10, 11, 13, 0}, {4, 5}, 8, 6, 3, 0, 4, 1, false};
const ByteEpldChip::Pins k312{{15, 17, 18, 19, 20, 21, 22, 23}, {9, 10, 11, 14, 0}, {2, 3}, 6, 4, 1, 0, 4, 1, false};
const ByteEpldChip::Pins k200{{14, 15, 16, 17, 18, 19, 20, 21}, {7, 8, 9, 10, 0}, {4, 5}, 13, 6, 3, 11, 4, 0, false};
const ByteEpldChip::Pins k201{{16, 17, 18, 19, 20, 21, 22, 23}, {7, 8, 9, 10, 11}, {2, 3}, 6, 4, 1, 0, 5, 0, true};
const ByteEpldChip::Pins k203{{14, 15, 16, 17, 18, 19, 20, 21}, {8, 9, 10, 11, 13}, {4, 5}, 7, 6, 3, 0, 5, 0, true};

bool SingleErasePulse(ByteEpldKind k) { return k == ByteEpldKind::Bus311 || k == ByteEpldKind::Bus312; }

} // namespace

const ByteEpldChip::Pins& ByteEpldChip::PinsOfPart() const {
    switch (part_.kind) {
    case ByteEpldKind::Bus311: return k311;
    case ByteEpldKind::Bus312: return k312;
    case ByteEpldKind::Bus200: return k200;
    case ByteEpldKind::Bus201: return k201;
    case ByteEpldKind::Bus203: return k203;
    }
    return k311;
}

ByteEpldChip::ByteEpldChip(const ByteEpldFacts& facts)
    : CellArrayChip(facts.name, kPinCount, static_cast<uint32_t>(kSelects * kAddresses * 8), kVccPin, {kGndPin}),
      part_(facts) {
    const Pins& p = PinsOfPart();
    AllowPin(p.bias, kPinMaxTenths);
    if (!p.logicPulse) {
        AllowPin(p.pulse, kPinMaxTenths);
        AllowPin(p.strobe, kPinMaxTenths);
    }
    if (p.readEnable != 0) AllowPin(p.readEnable, kPinMaxTenths);
}

uint8_t ByteEpldChip::Byte(int select, int address) const {
    uint32_t v = 0;
    for (int bit = 0; bit < 8; ++bit) v |= static_cast<uint32_t>(Cell(CellOf(select, address, bit))) << bit;
    return static_cast<uint8_t>(v);
}

void ByteEpldChip::SetByte(int select, int address, uint8_t value) {
    for (int bit = 0; bit < 8; ++bit) SetCell(CellOf(select, address, bit), (value >> bit) & 1);
}

bool ByteEpldChip::Locked() const {
    switch (part_.kind) {
    case ByteEpldKind::Bus311:
    case ByteEpldKind::Bus312:
        return (Byte(11, 44) & 0xFC) != 0xFC;
    case ByteEpldKind::Bus201:
    case ByteEpldKind::Bus203:
        return (Byte(27, 44) & 1) == 0;
    case ByteEpldKind::Bus200:
        return locked_;
    }
    return false;
}

int ByteEpldChip::Mode(const PinEnvironment& env) const {
    const Pins& p = PinsOfPart();
    return Level(env, p.mode[0]) | Level(env, p.mode[1]) << 1;
}

int ByteEpldChip::Bus(const PinEnvironment& env) const {
    const Pins& p = PinsOfPart();
    int v = 0;
    for (int i = 0; i < 8; ++i) v |= Level(env, p.data[i]) << i;
    return v;
}

bool ByteEpldChip::BiasOn(const PinEnvironment& env) const {
    return Within(Volts(env, PinsOfPart().bias), part_.biasTenths, kBiasTolerance);
}

bool ByteEpldChip::HighVoltage(const PinEnvironment& env, int chipPin) const {
    const int level = part_.kind == ByteEpldKind::Bus200 ? kBus200HighTenths : kRampedHighTenths;
    return chipPin != 0 && Within(Volts(env, chipPin), level, kHighTolerance);
}

bool ByteEpldChip::PulseOn(const PinEnvironment& env) const {
    const Pins& p = PinsOfPart();
    return p.logicPulse ? Level(env, p.pulse) == 1 : HighVoltage(env, p.pulse);
}

void ByteEpldChip::Update(const PinEnvironment& env) {
    const Pins& p = PinsOfPart();
    const bool strobe = Level(env, p.strobe) == 1;
    const bool pulse = PulseOn(env);
    const bool powered = Powered(env);
    if (!p.logicPulse && !powered && Volts(env, p.pulse) >= kUnpoweredHighTenths)
        env.Violation(Name() + ": high voltage on the cell pulse pin without VCC and ground");
    if (strobe && !strobeHigh_ && powered && BiasOn(env)) {
        int select = 0;
        for (int i = 0; i < p.selectBits; ++i) select |= Level(env, p.select[i]) << i;
        select_ = select;
        address_ = (Bus(env) >> p.addressShift) & (kAddresses - 1);
        readArmed_ = p.readEnable == 0;
    }
    strobeHigh_ = strobe;
    if (p.readEnable != 0 && Level(env, p.readEnable) == 1) readArmed_ = true;
    if (pulse && !pulseHigh_) {
        pulse_.Start(env.NowUs());
        secureHigh_ = true;
    }
    if (pulse && !HighVoltage(env, p.readEnable)) secureHigh_ = false;
    if (!pulse && pulseHigh_) PulseEnded(env, pulse_.Stop(env.NowUs()));
    pulseHigh_ = pulse;
}

void ByteEpldChip::EraseStep(int mode, uint64_t width, bool strobeHigh) {
    const uint64_t need = eraseStep_ == 2 ? part_.lastEraseMs * 1000 : kErasePulseUs;
    const bool strobeOk = part_.kind != ByteEpldKind::Bus200 || mode != 0 || strobeHigh;
    if (mode == kEraseModes[eraseStep_] && width >= need && strobeOk) {
        if (++eraseStep_ < 3) return;
        if (!ignoreErase_) EraseAll();
        locked_ = false;
    }
    eraseStep_ = 0;
}

void ByteEpldChip::PulseEnded(const PinEnvironment& env, uint64_t width) {
    if (!Powered(env) || !BiasOn(env)) return;
    const int mode = Mode(env);
    if (mode != kReadMode && pulses_.size() < kLogLimit) pulses_.push_back({mode, width});
    if (mode != kProgramMode && mode != kReadMode) {
        const bool strobeHigh = HighVoltage(env, PinsOfPart().strobe);
        if (!SingleErasePulse(part_.kind)) return EraseStep(mode, width, strobeHigh);
        if (mode == 0 && strobeHigh && width >= kCellPulseUs && !ignoreErase_) EraseAll();
        return;
    }
    eraseStep_ = 0;
    if (mode != kProgramMode || width < kCellPulseUs) return;
    if (part_.kind == ByteEpldKind::Bus200 && secureHigh_) {
        if (width >= kSecurePulseUs) locked_ = true;
        return;
    }
    if (select_ < 0) return;
    const int data = Bus(env);
    if (writes_.size() < kLogLimit) writes_.push_back({select_, address_, data});
    const bool clearWhereOne = part_.kind == ByteEpldKind::Bus200;
    for (int bit = 0; bit < 8; ++bit) {
        const int b = (data >> bit) & 1;
        WriteCell(CellOf(select_, address_, bit), clearWhereOne ? 1 - b : b);
    }
}

ChipDrive ByteEpldChip::PoweredOutput(const PinEnvironment& env, int socketPin) const {
    const Pins& p = PinsOfPart();
    const int chipPin = ChipPinAt(socketPin);
    int bit = -1;
    for (int i = 0; i < 8; ++i)
        if (p.data[i] == chipPin) bit = i;
    if (bit < 0 || select_ < 0 || !readArmed_ || Mode(env) != kReadMode || !BiasOn(env) || !PulseOn(env))
        return ChipDrive::None;
    if (Locked()) return ChipDrive::Low;
    return (Byte(select_, address_) >> bit) & 1 ? ChipDrive::High : ChipDrive::Low;
}

} // namespace sim
